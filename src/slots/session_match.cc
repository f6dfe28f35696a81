#include "slots/session_match.h"

namespace slots {

const SessionRecord* match_listed_session(const std::vector<SessionRecord>& table,
                                          std::string_view id) {
  for (const SessionRecord& record : table) {
    if (!record.session_dir.empty() && record.name == id) return &record;
  }
  // Only when no name is exactly right does a partial one count.
  for (const SessionRecord& record : table) {
    if (!record.session_dir.empty() && record.name.find(id) != std::string::npos) return &record;
  }
  return nullptr;
}

}  // namespace slots
