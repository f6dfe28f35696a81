#include "slots/handle_slots.h"

#include <string>

#include "slots/server_url.h"
#include "text/query.h"

namespace slots {

namespace {
constexpr std::size_t kIdCapacity = 256;
constexpr std::size_t kUrlCapacity = 512;
}  // namespace

void handle_slots(const platform::Environment& env, Output& out) {
  const std::string_view query = env.query_string != nullptr ? env.query_string : "";
  std::string id;
  std::string url;
  text::get_query_val(query, "id", kIdCapacity, &id);
  text::get_query_val(query, "url", kUrlCapacity, &url);

  if (!url.empty()) {
    reply_server_slots(env, url, out);
  } else if (id.empty() || !safe_id(id)) {
    reply_json_err(out, "400 Bad Request", "select a session or enter a llama.cpp URL");
  } else {
    reply_session_slots(env, id, out);
  }
}

}  // namespace slots
