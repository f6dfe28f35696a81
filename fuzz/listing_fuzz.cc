// Fuzzes the scan of the multiplexer tool's listing into session records.
//
// Input: byte 0 chooses where a second, shorter copy of the listing is cut
// (a tool killed or cut off mid-output); the rest is the tool's output.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "response_check.h"
#include "sessions/session_record.h"
#include "sessions/tmux_listing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  // An exact-size copy, so that any read past the output's end is caught.
  const std::string output(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::vector<slots::SessionRecord> records = slots::parse_tmux_listing(output);

  fuzz::check(records.size() <= slots::kMaxSessions, "more records than the table holds");
  for (const slots::SessionRecord& r : records) {
    fuzz::check(!r.name.empty(), "a record without a name");
    fuzz::check(r.name.size() < slots::kNameCapacity, "name longer than its field");
    fuzz::check(r.worktree.size() < slots::kWorktreeCapacity, "working tree longer than its field");
    fuzz::check(r.session_dir.empty() && r.sid.empty() && !r.has_slots,
                "the scan filled fields that only the file system can give");
  }
  if (records.empty() && output.find("\"sessions\"") == std::string::npos) return 0;

  // Output cut anywhere keeps exactly the records finished before the cut.
  const std::size_t cut = output.size() * data[0] / 255;
  const std::vector<slots::SessionRecord> kept =
      slots::parse_tmux_listing(std::string_view(output).substr(0, cut));
  fuzz::check(kept.size() <= records.size(), "a cut listing gave more records");
  for (std::size_t i = 0; i < kept.size(); ++i) {
    fuzz::check(kept[i].name == records[i].name && kept[i].worktree == records[i].worktree,
                "a cut listing changed a record finished before the cut");
  }
  return 0;
}
