// The servers the host configures (QV_LLAMA_SERVERS): names the page and a
// scraper can ask for instead of typing addresses.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace slots {

/// One configured server.
struct ConfiguredServer {
  std::string name;  ///< 1 to 64 characters of A-Z a-z 0-9 . _ -
  std::string url;   ///< the address as configured (what `url=` would carry)
};

/// Most entries read; later ones are ignored.
inline constexpr std::size_t kMaxServers = 64;
/// Longest name.
inline constexpr std::size_t kMaxServerName = 64;

/// The entries of `value`: "NAME=URL" separated by spaces, tabs, carriage
/// returns and line feeds, in the order given. An entry is skipped when its
/// name is empty, longer than kMaxServerName or has another character, or
/// when its URL is not one the `url` parameter accepts (valid_server_url, at
/// most text::kUrlLimit bytes). The first entry of a repeated name wins. At
/// most kMaxServers entries are kept.
std::vector<ConfiguredServer> parse_servers(std::string_view value);

/// parse_servers of QV_LLAMA_SERVERS; empty when it is unset.
std::vector<ConfiguredServer> configured_servers(const platform::Environment& env);

/// The configured server called `name`, or null.
const ConfiguredServer* find_server(const std::vector<ConfiguredServer>& servers,
                                    std::string_view name);

/// True when QV_LLAMA_ADDRESSES is "configured": a typed address is then
/// fetched only when it has the origin of a configured server. Unset or any
/// other value: every accepted address is fetched.
bool only_configured_addresses(const platform::Environment& env);

/// True when `url` has the origin (address_origin: scheme, host curl connects
/// to, port) of one of the servers' addresses.
bool has_configured_origin(const std::vector<ConfiguredServer>& servers, std::string_view url);

}  // namespace slots
