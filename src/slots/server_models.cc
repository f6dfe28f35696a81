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

bool server_address_or_reply(const platform::Environment& env, const text::Query& query,
                             std::string* address, text::Output& out) {
  switch (choose_address(env, query, address, out)) {
    case Chosen::kAddress:
      return true;
    case Chosen::kAnswered:
      return false;
    case Chosen::kNone:
      break;
  }
  text::reply_json_err(out, "400 Bad Request", "enter a llama.cpp URL");
  return false;
}

bool model_list_or_reply(std::string_view data, const std::string& endpoint,
                         std::vector<ModelEntry>* models, text::Output& out) {
  if (data[0] != '{' && data[0] != '[') {
    text::reply_json_err(out, kBadGateway, "unexpected non-JSON response from /models", endpoint);
    return false;
  }
  if (!read_model_list(data, models)) {
    std::string message;
    if (!read_error_message(data, &message)) message = "no model list in the response from /models";
    text::reply_json_err(out, kBadGateway, message, endpoint);
    return false;
  }
  return true;
}

void write_models_member(text::Output& out, const std::vector<ModelEntry>& models) {
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
  out.raw("]");
}

void handle_models(const platform::Environment& env, const text::Query& query, text::Output& out) {
  std::string url;
  if (!server_address_or_reply(env, query, &url, out)) return;
  const std::string endpoint = models_endpoint(url);
  Fetched fetched;
  if (!fetch_or_reply(env, endpoint, "unable to fetch /models from llama.cpp server", out,
                      &fetched)) {
    return;
  }
  std::vector<ModelEntry> models;
  if (!model_list_or_reply(fetched.data(), endpoint, &models, out)) return;
  write_answer_head(out, endpoint);
  write_models_member(out, models);
  out.raw("}\n");
}

}  // namespace slots
