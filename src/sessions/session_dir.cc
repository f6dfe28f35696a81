#include "sessions/session_dir.h"

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "text/bounded.h"

namespace slots {

namespace {

// An entry name in a file path keeps 200 characters. The sessions folder
// (a worktree of at most 767 characters and "/.velunora/sessions") and the
// session directory (that and a sid of at most 159) are never long enough to
// be cut.
constexpr std::size_t kEntryPart = 201;

// Status of "<folder>/<entry>/<file>", the entry name cut as the path is
// built. The folder (at most 786 characters) always fits its 950, so the
// query goes through the open folder instead of walking its whole path again.
bool stamp_of(const platform::DirHandle& folder, const std::string& entry, const char* file,
              std::int64_t* stamp) {
  std::string path = text::str_copy(entry, kEntryPart);
  path += platform::kPathSep;
  path += file;
  platform::FileStatus status;
  if (!folder.stat_at(path, &status)) return false;
  *stamp = status.mtime;
  return true;
}

}  // namespace

void find_session_dir(SessionRecord* record) {
  record->session_dir.clear();
  record->sid.clear();
  record->has_slots = false;
  if (record->worktree.empty()) return;

  std::string folder = text::str_copy(record->worktree, kWorktreeCapacity);
  folder += platform::kPathSep;
  folder += ".velunora";
  folder += platform::kPathSep;
  folder += "sessions";

  std::vector<platform::DirEntry> entries;
  if (!platform::list_dir(folder, &entries)) return;
  const platform::DirHandle open_folder(folder);

  std::string chosen;
  bool found = false;
  std::int64_t best = 0;
  for (const platform::DirEntry& entry : entries) {
    if (entry.name.empty() || entry.name[0] == '.' || !entry.is_dir) continue;
    std::int64_t stamp = 0;
    if (!stamp_of(open_folder, entry.name, "slots.json", &stamp) &&
        !stamp_of(open_folder, entry.name, "meta.json", &stamp)) {
      continue;
    }
    // ">=" lets the later of equally old candidates win.
    if (stamp >= best) {
      best = stamp;
      chosen = entry.name;
      found = true;
    }
  }
  if (!found) return;

  record->sid = text::str_copy(chosen, kSidCapacity);
  record->session_dir = folder;
  record->session_dir += platform::kPathSep;
  record->session_dir += record->sid;
  // Its slots.json is queried through the open folder too.
  platform::FileStatus status;
  record->has_slots =
      open_folder.stat_at(record->sid + platform::kPathSep + "slots.json", &status) &&
      status.is_regular;
}

}  // namespace slots
