#include "sessions/session_list.h"

#include "sessions/session_dir.h"
#include "sessions/tmux_listing.h"
#include "sessions/tmux_tool.h"

namespace slots {

int list_tmux_sessions(const platform::Environment& env, std::vector<SessionRecord>* table) {
  if (table == nullptr) return 0;
  table->clear();
  const text::Capture listing = run_tmux_listing(tmux_path(env));
  if (!listing.data || listing.size == 0) return 0;
  *table = parse_tmux_listing(listing.view());
  for (SessionRecord& record : *table) find_session_dir(&record);
  return static_cast<int>(table->size());
}

}  // namespace slots
