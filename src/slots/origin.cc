#include "slots/origin.h"

namespace slots {

namespace {

char lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool starts_with_nocase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (lower(s[i]) != prefix[i]) return false;
  }
  return true;
}

// "host[:port]" into `origin`; false when the host is empty or the port is
// not a number from 1 to 65535.
bool parse_host_port(std::string_view authority, Origin* origin) {
  std::string_view host = authority;
  const std::size_t colon = authority.rfind(':');
  if (colon != std::string_view::npos) {
    host = authority.substr(0, colon);
    const std::string_view port = authority.substr(colon + 1);
    // "host:" means the default port, as curl reads it.
    if (!port.empty()) {
      if (port.size() > 5) return false;
      unsigned value = 0;
      for (char c : port) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
      }
      if (value == 0 || value > 65535) return false;
      origin->port = value;
    }
  }
  if (host.empty()) return false;
  origin->host.clear();
  for (char c : host) origin->host.push_back(lower(c));
  return true;
}

// The scheme and the rest after "://", or nothing for other schemes.
std::optional<std::string_view> after_scheme(std::string_view url, Origin* origin) {
  if (starts_with_nocase(url, "http://")) {
    origin->https = false;
    origin->port = 80;
    return url.substr(7);
  }
  if (starts_with_nocase(url, "https://")) {
    origin->https = true;
    origin->port = 443;
    return url.substr(8);
  }
  return std::nullopt;
}

}  // namespace

std::optional<Origin> written_origin(std::string_view text) {
  Origin origin;
  const auto rest = after_scheme(text, &origin);
  if (!rest || rest->find_first_of("/?#@") != std::string_view::npos) return std::nullopt;
  if (!parse_host_port(*rest, &origin)) return std::nullopt;
  return origin;
}

std::optional<Origin> address_origin(std::string_view url) {
  Origin origin;
  const auto rest = after_scheme(url, &origin);
  if (!rest) return std::nullopt;
  std::string_view authority = rest->substr(0, rest->find_first_of("/?#"));
  const std::size_t at = authority.rfind('@');
  if (at != std::string_view::npos) authority = authority.substr(at + 1);
  if (!parse_host_port(authority, &origin)) return std::nullopt;
  return origin;
}

}  // namespace slots
