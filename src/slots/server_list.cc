// The servers call: the names the host configured, for a page or a scraper
// that asks by name (server=NAME) instead of typing addresses.
#include <vector>

#include "slots/fleet.h"
#include "slots/handle_slots.h"
#include "slots/server_url.h"

namespace slots {

namespace {

void write_servers(const std::vector<ConfiguredServer>& servers, text::Output& out) {
  out.raw("\"servers\":[");
  for (std::size_t i = 0; i < servers.size(); ++i) {
    out.raw(i == 0 ? "{\"name\":" : ",{\"name\":");
    out.json_str(servers[i].name);
    out.raw(",\"url\":");
    out.json_str(normalise_server_url(servers[i].url));
    out.raw("}");
  }
  out.raw("]");
}

}  // namespace

void handle_servers(const platform::Environment& env, const text::Query&, text::Output& out) {
  out.raw(text::kJsonHeader);
  out.raw("{\"ok\":true,");
  write_servers(configured_servers(env), out);
  // Tells the page that a typed address would be refused, so it can leave
  // its address field out.
  if (only_configured_addresses(env)) out.raw(",\"addresses\":\"configured\"");
  out.raw("}\n");
}

void write_fleet_members(const platform::Environment& env, text::Output& out) {
  const std::vector<ConfiguredServer> servers = configured_servers(env);
  if (!servers.empty()) {
    out.raw(",");
    write_servers(servers, out);
  }
  if (only_configured_addresses(env)) out.raw(",\"addresses\":\"configured\"");
}

}  // namespace slots
