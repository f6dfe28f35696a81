// The models call: a llama.cpp router's model list, reduced to what the page
// shows. The list also carries each model's start arguments and file paths,
// which stay on the server.
#include <string>
#include <vector>

#include "slots/handle_slots.h"
#include "slots/model_list.h"
#include "slots/server_fetch.h"
#include "slots/server_url.h"

namespace slots {

namespace {

constexpr std::string_view kBadGateway = "502 Bad Gateway";

}  // namespace

void handle_models(const platform::Environment& env, const text::Query& query, text::Output& out) {
  std::string url;
  switch (choose_address(env, query, &url, out)) {
    case Chosen::kAddress:
      break;
    case Chosen::kAnswered:
      return;
    case Chosen::kNone:
      text::reply_json_err(out, "400 Bad Request", "enter a llama.cpp URL");
      return;
  }
  const std::string endpoint = models_endpoint(url);
  Fetched fetched;
  if (!fetch_or_reply(env, endpoint, "unable to fetch /models from llama.cpp server", out,
                      &fetched)) {
    return;
  }
  const std::string_view data = fetched.data();
  if (data[0] != '{' && data[0] != '[') {
    text::reply_json_err(out, kBadGateway, "unexpected non-JSON response from /models", endpoint);
    return;
  }
  std::vector<ModelEntry> models;
  if (!read_model_list(data, &models)) {
    std::string message;
    if (!read_error_message(data, &message)) message = "no model list in the response from /models";
    text::reply_json_err(out, kBadGateway, message, endpoint);
    return;
  }
  write_answer_head(out, endpoint);
  out.raw("\"models\":[");
  for (std::size_t i = 0; i < models.size(); ++i) {
    out.raw(i == 0 ? "{\"id\":" : ",{\"id\":");
    out.json_str(models[i].id);
    if (!models[i].status.empty()) {
      out.raw(",\"status\":");
      out.json_str(models[i].status);
    }
    out.raw("}");
  }
  out.raw("]}\n");
}

}  // namespace slots
