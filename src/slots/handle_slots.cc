#include "slots/handle_slots.h"

#include <string>
#include <vector>

#include "slots/fleet.h"
#include "slots/server_url.h"

namespace slots {

Chosen choose_address(const platform::Environment& env, const text::Query& query,
                      std::string* address, text::Output& out) {
  if (!query.url.empty()) {
    const std::string& url = query.url;
    if (!valid_server_url(url)) {
      text::reply_json_err(out, "400 Bad Request", kInvalidUrl, url);
      return Chosen::kAnswered;
    }
    // Normalising only changes the path, so the origin checked is the one
    // curl connects to.
    if (only_configured_addresses(env) &&
        !has_configured_origin(configured_servers(env), normalise_server_url(url))) {
      text::reply_json_err(out, "403 Forbidden", kAddressNotAllowed, url);
      return Chosen::kAnswered;
    }
    *address = url;
    return Chosen::kAddress;
  }
  if (!query.server.empty()) {
    const std::vector<ConfiguredServer> servers = configured_servers(env);
    const ConfiguredServer* server = find_server(servers, query.server);
    if (server == nullptr) {
      text::reply_json_err(out, "404 Not Found", kUnknownServer);
      return Chosen::kAnswered;
    }
    *address = server->url;
    return Chosen::kAddress;
  }
  return Chosen::kNone;
}

void handle_slots(const platform::Environment& env, const text::Query& query, text::Output& out) {
  const std::string& id = query.id;
  std::string address;
  switch (choose_address(env, query, &address, out)) {
    case Chosen::kAddress:
      reply_server_slots(env, address, query.metrics == "1", out);
      return;
    case Chosen::kAnswered:
      return;
    case Chosen::kNone:
      break;
  }
  if (id.empty() || !safe_id(id)) {
    text::reply_json_err(out, "400 Bad Request", "select a session or enter a llama.cpp URL");
  } else {
    reply_session_slots(env, id, out);
  }
}

}  // namespace slots
