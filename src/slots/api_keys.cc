#include "slots/api_keys.h"

#include <optional>

namespace slots {

namespace {

struct Origin {
  bool https = false;
  std::string host;  // lower case
  unsigned port = 0;
};

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

// The origin written in a key entry: scheme and authority, nothing after.
std::optional<Origin> entry_origin(std::string_view text) {
  Origin origin;
  const auto rest = after_scheme(text, &origin);
  if (!rest || rest->find_first_of("/?#@") != std::string_view::npos) return std::nullopt;
  if (!parse_host_port(*rest, &origin)) return std::nullopt;
  return origin;
}

// The origin that a request to `url` goes to.
std::optional<Origin> url_origin(std::string_view url) {
  Origin origin;
  const auto rest = after_scheme(url, &origin);
  if (!rest) return std::nullopt;
  std::string_view authority = rest->substr(0, rest->find_first_of("/?#"));
  const std::size_t at = authority.rfind('@');
  if (at != std::string_view::npos) authority = authority.substr(at + 1);
  if (!parse_host_port(authority, &origin)) return std::nullopt;
  return origin;
}

bool is_separator(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool usable_key(std::string_view key) {
  if (key.empty() || key.size() > kMaxApiKey) return false;
  for (char c : key) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 32 || u == 127) return false;
  }
  return true;
}

}  // namespace

std::string api_key_for(std::string_view keys, std::string_view endpoint) {
  const auto target = url_origin(endpoint);
  if (!target) return {};
  std::size_t i = 0;
  while (i < keys.size()) {
    while (i < keys.size() && is_separator(keys[i])) ++i;
    std::size_t end = i;
    while (end < keys.size() && !is_separator(keys[end])) ++end;
    const std::string_view entry = keys.substr(i, end - i);
    i = end;
    const std::size_t eq = entry.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view key = entry.substr(eq + 1);
    const auto origin = entry_origin(entry.substr(0, eq));
    if (!origin || !usable_key(key)) continue;
    if (origin->https == target->https && origin->port == target->port &&
        origin->host == target->host) {
      return std::string(key);
    }
  }
  return {};
}

}  // namespace slots
