#include "sessions/handle_sessions.h"

namespace slots {

void handle_sessions(const platform::Environment& env, Output& out) {
  (void)env;
  out.raw(kJsonHeader);
  out.raw("{\"ok\":true,\"sessions\":[");
  out.raw("]}\n");
}

}  // namespace slots
