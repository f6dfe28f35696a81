#include "sessions/handle_sessions.h"

#include <string>
#include <vector>

#include "sessions/session_list.h"
#include "sessions/session_roots.h"
#include "text/bounded.h"

namespace slots {

namespace {

// Each part of a fallback path keeps this many characters (capacity counted).
constexpr std::size_t kFallbackEntryPart = 201;

void write_entry(text::Output& out, bool first, std::string_view name, std::string_view sid,
                 bool has_slots) {
  if (!first) out.raw(",");
  out.raw("{\"name\":");
  out.json_str(name);
  out.raw(",\"sid\":");
  out.json_str(sid);
  out.raw(has_slots ? ",\"has_slots\":true}" : ",\"has_slots\":false}");
}

// Lists the subdirectories of the first session root, at most kMaxSessions.
void write_first_root(const platform::Environment& env, text::Output& out) {
  const std::vector<std::string> roots = collect_default_roots(env);
  if (roots.empty()) return;
  const std::string& root = roots.front();
  std::vector<platform::DirEntry> entries;
  if (!platform::list_dir(root, &entries)) return;

  std::size_t written = 0;
  for (const platform::DirEntry& entry : entries) {
    if (written == kMaxSessions) break;
    if (entry.name.empty() || entry.name[0] == '.' || !entry.is_dir) continue;
    std::string slots_file = root;
    slots_file += platform::kPathSep;
    slots_file += text::str_copy(entry.name, kFallbackEntryPart);
    slots_file += platform::kPathSep;
    slots_file += "slots.json";
    write_entry(out, written == 0, entry.name, entry.name, platform::file_exists(slots_file));
    ++written;
  }
}

}  // namespace

void handle_sessions(const platform::Environment& env, const text::Query&, text::Output& out) {
  handle_sessions(env, out, nullptr);
}

void handle_sessions(const platform::Environment& env, text::Output& out, MoreMembers more) {
  // The opening goes out before any discovery: whatever fails later can only
  // shorten the list, never turn the answer into an error.
  out.raw(text::kJsonHeader);
  out.raw("{\"ok\":true,\"sessions\":[");

  std::vector<SessionRecord> table;
  table.reserve(kMaxSessions);
  if (list_tmux_sessions(env, &table) > 0) {
    bool first = true;
    for (const SessionRecord& record : table) {
      write_entry(out, first, record.name, record.sid, record.has_slots);
      first = false;
    }
  } else {
    write_first_root(env, out);
  }
  out.raw("]");
  if (more != nullptr) more(env, out);
  out.raw("}\n");
}

}  // namespace slots
