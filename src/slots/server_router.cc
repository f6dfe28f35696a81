// The router call: one poll of a llama.cpp router in one curl run. It
// fetches the router's /models, the /slots of each model the page names
// (the ones it last saw loaded and busy of late) and the /metrics of each
// model it names as quiet (idle: /metrics, unlike /slots, lets it fall
// asleep), so a poll of a router with K loaded models starts one program and
// one curl instead of K + 1 of each.
#include <string>
#include <string_view>
#include <vector>

#include "slots/handle_slots.h"
#include "slots/model_list.h"
#include "slots/server_fetch.h"
#include "slots/server_url.h"
#include "text/json_reader.h"
#include "text/metrics_text.h"
#include "text/query.h"

namespace slots {

namespace {

// At most this many models' slots in one call.
constexpr std::size_t kMaxNamed = 64;

bool unreserved(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

// A model id as the request names it, percent-encoded, decoded into `id`:
// false when it holds anything but unreserved characters and %XX escapes
// (so it adds nothing else to the query it goes into) or decodes to nothing.
bool decode_id(std::string_view encoded, std::string* id) {
  id->clear();
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    if (unreserved(encoded[i])) {
      *id += encoded[i];
    } else if (encoded[i] == '%' && i + 2 < encoded.size() && text::hex_val(encoded[i + 1]) >= 0 &&
               text::hex_val(encoded[i + 2]) >= 0) {
      *id += static_cast<char>(text::hex_val(encoded[i + 1]) * 16 + text::hex_val(encoded[i + 2]));
      i += 2;
    } else {
      return false;
    }
  }
  return !id->empty();
}

// A model the request names: its id, and the id as it goes into a query.
struct Named {
  std::string id;
  std::string encoded;
};

// The models of `list`: percent-encoded ids, each ended by a comma, so that a
// list cut short (the request's values have a limit) loses its last id
// rather than naming another model. Pieces that do not decode are skipped.
std::vector<Named> named_models(std::string_view list) {
  std::vector<Named> named;
  std::size_t end = 0;
  while (named.size() < kMaxNamed && (end = list.find(',')) != std::string_view::npos) {
    Named n;
    n.encoded = std::string(list.substr(0, end));
    if (decode_id(n.encoded, &n.id)) named.push_back(std::move(n));
    list.remove_prefix(end + 1);
  }
  return named;
}

// `url` with `model=ENCODED` added to its query (before a fragment).
std::string model_address(std::string_view url, std::string_view encoded) {
  const std::size_t hash = url.find('#');
  const std::string_view base = url.substr(0, hash);
  std::string address(base);
  address += base.find('?') == std::string_view::npos ? "?model=" : "&model=";
  address += encoded;
  if (hash != std::string_view::npos) address += url.substr(hash);
  return address;
}

// True when `body` is one JSON array and nothing else.
bool json_array(std::string_view body) {
  text::JsonReader reader(body);
  return reader.next_kind() == '[' && reader.skip_value() && reader.at_end();
}

// One quiet model's group: its id, the endpoint fetched, and its two request
// counters (each when read), or why there are none.
void write_counters(text::Output& out, std::string_view id, const std::string& endpoint,
                    const Transfer& transfer) {
  out.raw("{\"id\":");
  out.json_str(id);
  out.raw(",\"url\":");
  out.json_str(endpoint);
  std::string message;
  if (!transfer.ok) {
    message = "unable to fetch /metrics from llama.cpp server";
  } else if (transfer.http_code != 200) {
    if (!read_error_message(trim_trailing_space(transfer.body), &message)) {
      message = "unable to fetch /metrics from llama.cpp server";
    }
  } else {
    out.raw(",\"metrics\":{");
    double value = 0;
    const char* sep = "";
    for (const char* name : {"requests_processing", "requests_deferred"}) {
      if (text::find_metric(transfer.body, std::string("llamacpp:") + name, &value)) {
        out.raw(sep);
        out.raw("\"");
        out.raw(name);
        out.raw("\":");
        out.raw(text::json_number(value));
        sep = ",";
      }
    }
    out.raw("}}");
    return;
  }
  out.raw(",\"error\":");
  out.json_str(message);
  out.raw("}");
}

// One named model's group: its id, the endpoint fetched, and its slots, or
// the error the slots call would have answered (a server's error object as
// its message).
void write_group(text::Output& out, std::string_view id, const std::string& endpoint,
                 const Transfer& transfer) {
  out.raw("{\"id\":");
  out.json_str(id);
  out.raw(",\"url\":");
  out.json_str(endpoint);
  const std::string_view body = trim_trailing_space(transfer.body);
  std::string message;
  if (!transfer.ok || body.size() <= 1) {
    message = "unable to fetch /slots from llama.cpp server";
  } else if (body[0] == '[' && json_array(body)) {
    out.raw(",\"slots\":");
    out.raw(body);
    out.raw("}");
    return;
  } else if (body[0] != '{' || !read_error_message(body, &message)) {
    message = "unexpected non-JSON response from /slots";
  }
  out.raw(",\"error\":");
  out.json_str(message);
  out.raw("}");
}

}  // namespace

void handle_router(const platform::Environment& env, const text::Query& query, text::Output& out) {
  // A router named by the host, or a typed address the host lets through.
  std::string url;
  if (!server_address_or_reply(env, query, &url, out)) return;
  const std::string endpoint = models_endpoint(url);
  const std::vector<Named> named = named_models(query.models);
  const std::vector<Named> quiet = named_models(query.quiet);
  std::vector<std::string> endpoints = {endpoint};
  for (const Named& n : named) endpoints.push_back(slots_endpoint(model_address(url, n.encoded)));
  for (const Named& n : quiet) {
    endpoints.push_back(metrics_endpoint(model_address(url, n.encoded)));
  }
  FetchedAll fetched;
  std::string_view data;
  if (!fetch_all_or_reply(env, endpoints, "unable to fetch /models from llama.cpp server", out,
                          &fetched, &data)) {
    return;
  }
  std::vector<ModelEntry> models;
  if (!model_list_or_reply(data, endpoint, &models, out)) return;
  write_answer_head(out, endpoint);
  write_models_member(out, models);
  out.raw(",\"groups\":[");
  for (std::size_t i = 0; i < named.size(); ++i) {
    if (i > 0) out.raw(",");
    write_group(out, named[i].id, endpoints[i + 1], fetched.transfers[i + 1]);
  }
  for (std::size_t i = 0; i < quiet.size(); ++i) {
    const std::size_t k = 1 + named.size() + i;
    if (k > 1) out.raw(",");
    write_counters(out, quiet[i].id, endpoints[k], fetched.transfers[k]);
  }
  out.raw("]}\n");
}

}  // namespace slots
