#include "slots/handle_slots.h"

#include <string>

#include "slots/server_url.h"

namespace slots {

void handle_slots(const platform::Environment& env, const text::Query& query, text::Output& out) {
  const std::string& id = query.id;
  const std::string& url = query.url;

  if (!url.empty()) {
    reply_server_slots(env, url, out);
  } else if (id.empty() || !safe_id(id)) {
    text::reply_json_err(out, "400 Bad Request", "select a session or enter a llama.cpp URL");
  } else {
    reply_session_slots(env, id, out);
  }
}

}  // namespace slots
