// The session branch of the slots call.
#include <string>
#include <vector>

#include "sessions/session_list.h"
#include "sessions/session_roots.h"
#include "slots/handle_slots.h"
#include "slots/session_match.h"
#include "slots/slots_file.h"

namespace slots {

namespace {

constexpr std::string_view kNotFound = "404 Not Found";
constexpr std::string_view kNoSession = "session not found on this node";
constexpr std::string_view kNoSlotsFile =
    "no slots.json for this session (not using llama.cpp slots publisher)";

// The session directory for `id`: a directory of that name under the first
// root that has one; only when none has, the tool's sessions, by exact name
// and then by part of the name. Empty when the session is not found.
std::string find_session_dir_for(const platform::Environment& env, std::string_view id) {
  for (const std::string& root : collect_default_roots(env)) {
    // Roots keep at most 511 characters and a safe id 160, so the path is
    // never cut.
    std::string candidate = root;
    candidate += platform::kPathSep;
    candidate += id;
    if (platform::is_dir(candidate)) return candidate;
  }
  std::vector<SessionRecord> table;
  table.reserve(kMaxSessions);
  if (list_tmux_sessions(env, &table) <= 0) return {};
  const SessionRecord* record = match_listed_session(table, id);
  return record != nullptr ? record->session_dir : std::string();
}

}  // namespace

void reply_session_slots(const platform::Environment& env, std::string_view id, text::Output& out) {
  const std::string session_dir = find_session_dir_for(env, id);
  if (session_dir.empty()) {
    text::reply_json_err(out, kNotFound, kNoSession);
    return;
  }

  std::string path = session_dir;
  path += platform::kPathSep;
  path += "slots.json";
  text::Capture bytes;
  // An empty file or a single byte is no slot data.
  if (!read_slots_file(path, &bytes) || bytes.size < 2) {
    text::reply_json_err(out, kNotFound, kNoSlotsFile);
    return;
  }
  // Relayed as read: not parsed, trimmed or wrapped, NUL bytes included.
  out.raw(text::kJsonHeader);
  out.raw(bytes.view());
  if (bytes.view().back() != '\n') out.raw("\n");
}

}  // namespace slots
