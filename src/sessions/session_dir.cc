#include "sessions/session_dir.h"

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "text/bounded.h"

namespace slots {

namespace {

// Capacities of the fixed buffers the paths are built in; each keeps the
// listed number of characters of the part it is given.
constexpr std::size_t kFolderPart = 951;  // sessions folder in a file path: 950
constexpr std::size_t kEntryPart = 201;   // entry name in a file path: 200
constexpr std::size_t kChosenName = 256;  // chosen entry name: 255
constexpr std::size_t kDirPart = 960;     // sessions folder in session_dir: 959

// Status of "<folder>/<entry>/<file>", the parts cut as the paths are built.
bool stamp_of(const std::string& folder, const std::string& entry, const char* file,
              std::int64_t* stamp) {
  std::string path = text::str_copy(folder, kFolderPart);
  path += platform::kPathSep;
  path += text::str_copy(entry, kEntryPart);
  path += platform::kPathSep;
  path += file;
  platform::FileStatus status;
  if (!platform::stat_path(path, &status)) return false;
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

  std::string chosen;
  bool found = false;
  std::int64_t best = 0;
  for (const platform::DirEntry& entry : entries) {
    if (entry.name.empty() || entry.name[0] == '.' || !entry.is_dir) continue;
    std::int64_t stamp = 0;
    if (!stamp_of(folder, entry.name, "slots.json", &stamp) &&
        !stamp_of(folder, entry.name, "meta.json", &stamp)) {
      continue;
    }
    // ">=" lets the later of equally old candidates win.
    if (stamp >= best) {
      best = stamp;
      chosen = text::str_copy(entry.name, kChosenName);
      found = true;
    }
  }
  if (!found) return;

  record->sid = text::str_copy(chosen, kSidCapacity);
  record->session_dir = text::str_copy(folder, kDirPart);
  record->session_dir += platform::kPathSep;
  record->session_dir += record->sid;
  record->session_dir = text::str_copy(record->session_dir, kSessionDirCapacity);
  std::string slots_file = record->session_dir;
  slots_file += platform::kPathSep;
  slots_file += "slots.json";
  record->has_slots = text::file_exists(slots_file);
}

}  // namespace slots
