// The session branch of the slots call.
#include "slots/handle_slots.h"

namespace slots {

void reply_session_slots(const platform::Environment& env, std::string_view id, Output& out) {
  (void)env;
  (void)id;
  reply_json_err(out, "404 Not Found", "session not found on this node");
}

}  // namespace slots
