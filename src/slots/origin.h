// The origin of a llama.cpp server's address: scheme, host and port, the way
// the API keys and the allow-list of addresses compare them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace slots {

/// Scheme, host and port of an address.
struct Origin {
  bool https = false;
  std::string host;   ///< lower case
  unsigned port = 0;  ///< 80 or 443 when the address names none

  bool operator==(const Origin&) const = default;
};

/// The origin that curl connects to for `url`: "http://" or "https://"
/// (either in any case), then the authority up to the first "/", "?" or "#",
/// without user information (everything up to its last "@"). The host is
/// kept in lower case; a missing port (or "host:") is 80 or 443. Nothing when
/// the scheme is another one, the host is empty or the port is not a number
/// from 1 to 65535.
std::optional<Origin> address_origin(std::string_view url);

/// An origin as written on its own ("http://host[:port]" or
/// "https://host[:port]", nothing after it and no user information), with the
/// same rules as address_origin; nothing for anything else.
std::optional<Origin> written_origin(std::string_view text);

}  // namespace slots
