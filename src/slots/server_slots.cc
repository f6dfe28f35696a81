// The server-address branch of the slots call.
#include <string>

#include "slots/handle_slots.h"
#include "slots/server_fetch.h"
#include "slots/server_url.h"

namespace slots {

namespace {

constexpr std::string_view kBadGateway = "502 Bad Gateway";
constexpr std::string_view kUnable = "unable to fetch /slots from llama.cpp server";

// Answers for a /slots body that arrived (more than one byte, trailing white
// space cut): the array wrapped, an object passed through, or the 502.
// `counters` (a JSON object, or empty) goes into a wrapped answer.
void answer(text::Output& out, const std::string& endpoint, std::string_view data,
            const std::string& counters) {
  if (data[0] == '[') {
    // The time is read after the fetch has ended.
    write_answer_head(out, endpoint);
    out.raw("\"slots\":");
    // The array is written as a string: an embedded NUL byte ends it.
    out.raw(data.substr(0, data.find('\0')));
    if (!counters.empty()) {
      out.raw(",\"metrics\":");
      out.raw(counters);
    }
    out.raw("}\n");
  } else if (data[0] == '{') {
    out.raw(text::kJsonHeader);
    out.raw(data);
    out.raw("\n");
  } else {
    text::reply_json_err(out, kBadGateway, "unexpected non-JSON response from /slots", endpoint);
  }
}

}  // namespace

void reply_server_slots(const platform::Environment& env, std::string_view url, bool with_metrics,
                        text::Output& out) {
  const std::string endpoint = slots_endpoint(url);
  if (!with_metrics) {
    Fetched fetched;
    if (fetch_or_reply(env, endpoint, kUnable, out, &fetched)) {
      answer(out, endpoint, fetched.data(), std::string());
    }
    return;
  }
  // Both in one curl run: one process a poll, and counters of the same moment.
  FetchedAll fetched;
  std::string_view data;
  if (!fetch_all_or_reply(env, {endpoint, metrics_endpoint(url)}, kUnable, out, &fetched, &data)) {
    return;
  }
  const Transfer& metrics = fetched.transfers[1];
  const bool has_metrics = metrics.ok && metrics.http_code == 200;
  answer(out, endpoint, data, has_metrics ? metrics_member(metrics.body) : std::string());
}

}  // namespace slots
