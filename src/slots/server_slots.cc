// The server-address branch of the slots call.
#include <string>

#include "slots/handle_slots.h"
#include "slots/server_fetch.h"
#include "slots/server_url.h"

namespace slots {

void reply_server_slots(const platform::Environment& env, std::string_view url, text::Output& out) {
  const std::string endpoint = slots_endpoint(url);
  Fetched fetched;
  if (!fetch_or_reply(env, endpoint, "unable to fetch /slots from llama.cpp server", out,
                      &fetched)) {
    return;
  }
  const std::string_view data = fetched.data();
  if (data[0] == '[') {
    // The time is read after the fetch has ended.
    write_answer_head(out, endpoint);
    out.raw("\"slots\":");
    // The array is written as a string: an embedded NUL byte ends it.
    out.raw(data.substr(0, data.find('\0')));
    out.raw("}\n");
  } else if (data[0] == '{') {
    out.raw(text::kJsonHeader);
    out.raw(data);
    out.raw("\n");
  } else {
    text::reply_json_err(out, "502 Bad Gateway", "unexpected non-JSON response from /slots",
                         endpoint);
  }
}

}  // namespace slots
