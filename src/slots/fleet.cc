#include "slots/fleet.h"

#include "slots/origin.h"
#include "slots/server_url.h"
#include "text/query.h"

namespace slots {

namespace {

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool valid_name(std::string_view name) {
  if (name.empty() || name.size() > kMaxServerName) return false;
  for (const char c : name) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                    c == '.' || c == '_' || c == '-';
    if (!ok) return false;
  }
  return true;
}

}  // namespace

std::vector<ConfiguredServer> parse_servers(std::string_view value) {
  std::vector<ConfiguredServer> servers;
  std::size_t pos = 0;
  while (pos < value.size() && servers.size() < kMaxServers) {
    while (pos < value.size() && is_space(value[pos])) ++pos;
    std::size_t end = pos;
    while (end < value.size() && !is_space(value[end])) ++end;
    const std::string_view entry = value.substr(pos, end - pos);
    pos = end;
    // The name ends at the first "=": a URL may hold "=" in its query.
    const std::size_t eq = entry.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view name = entry.substr(0, eq);
    const std::string_view url = entry.substr(eq + 1);
    // A longer address would reach the server cut, as a typed one would.
    if (!valid_name(name) || url.size() > text::kUrlLimit || !valid_server_url(url)) continue;
    if (find_server(servers, name) != nullptr) continue;
    servers.push_back({std::string(name), std::string(url)});
  }
  return servers;
}

std::vector<ConfiguredServer> configured_servers(const platform::Environment& env) {
  const char* value = env.get("QV_LLAMA_SERVERS");
  return value != nullptr ? parse_servers(value) : std::vector<ConfiguredServer>{};
}

const ConfiguredServer* find_server(const std::vector<ConfiguredServer>& servers,
                                    std::string_view name) {
  for (const ConfiguredServer& server : servers) {
    if (server.name == name) return &server;
  }
  return nullptr;
}

bool only_configured_addresses(const platform::Environment& env) {
  const char* value = env.get("QV_LLAMA_ADDRESSES");
  return value != nullptr && std::string_view(value) == "configured";
}

bool has_configured_origin(const std::vector<ConfiguredServer>& servers, std::string_view url) {
  const auto origin = address_origin(url);
  if (!origin) return false;
  for (const ConfiguredServer& server : servers) {
    if (address_origin(server.url) == origin) return true;
  }
  return false;
}

}  // namespace slots
