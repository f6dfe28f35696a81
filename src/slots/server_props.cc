// The props call: what a llama.cpp server tells about itself on /props (and,
// when asked, its request counters on /metrics), for watching a server
// without waking it: neither endpoint wakes a sleeping server or restarts its
// idle timer, as /slots does.
#include <string>
#include <string_view>

#include "slots/handle_slots.h"
#include "slots/model_list.h"
#include "slots/props_fields.h"
#include "slots/server_fetch.h"
#include "slots/server_url.h"
#include "text/metrics_text.h"

namespace slots {

namespace {

constexpr std::string_view kBadGateway = "502 Bad Gateway";
constexpr std::string_view kUnable = "unable to fetch /props from llama.cpp server";

// Answers for a /props body that arrived (more than one byte): its fields, or
// the 502 for what is no answer of a server. `metrics` is the /metrics body
// when it was asked for and answered 200.
void answer(text::Output& out, const std::string& endpoint, std::string_view body,
            const std::string_view* metrics) {
  PropsFields props;
  if (!read_props(body, &props)) {
    text::reply_json_err(out, kBadGateway, "unexpected non-JSON response from /props", endpoint);
    return;
  }
  std::string message;
  if (read_error_message(body, &message)) {
    text::reply_json_err(out, kBadGateway, message, endpoint);
    return;
  }
  write_answer_head(out, endpoint);
  out.raw("\"props\":");
  write_props(out, props);
  const std::string counters = metrics != nullptr ? metrics_member(*metrics) : std::string();
  if (!counters.empty()) {
    out.raw(",\"metrics\":");
    out.raw(counters);
  }
  out.raw("}\n");
}

}  // namespace

std::string metrics_member(std::string_view metrics) {
  std::string members;
  double value = 0;
  if (text::find_metric(metrics, "llamacpp:requests_processing", &value)) {
    members += "\"requests_processing\":" + text::json_number(value);
  }
  if (text::find_metric(metrics, "llamacpp:requests_deferred", &value)) {
    members += members.empty() ? "" : ",";
    members += "\"requests_deferred\":" + text::json_number(value);
  }
  return members.empty() ? members : "{" + members + "}";
}

void handle_props(const platform::Environment& env, const text::Query& query, text::Output& out) {
  std::string url;
  if (!server_address_or_reply(env, query, &url, out)) return;
  const std::string endpoint = props_endpoint(url);
  if (query.metrics != "1") {
    Fetched fetched;
    if (fetch_or_reply(env, endpoint, kUnable, out, &fetched)) {
      answer(out, endpoint, fetched.data(), nullptr);
    }
    return;
  }
  // Both in one curl run: one process, and the two answers of one moment.
  FetchedAll fetched;
  std::string_view body;
  if (!fetch_all_or_reply(env, {endpoint, metrics_endpoint(url)}, kUnable, out, &fetched, &body)) {
    return;
  }
  const Transfer& metrics = fetched.transfers[1];
  const bool has_metrics = metrics.ok && metrics.http_code == 200;
  answer(out, endpoint, body, has_metrics ? &metrics.body : nullptr);
}

}  // namespace slots
