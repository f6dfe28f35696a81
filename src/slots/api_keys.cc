#include "slots/api_keys.h"

#include "slots/origin.h"

namespace slots {

namespace {

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
  const auto target = address_origin(endpoint);
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
    const auto origin = written_origin(entry.substr(0, eq));
    if (!origin || !usable_key(key)) continue;
    if (*origin == *target) return std::string(key);
  }
  return {};
}

}  // namespace slots
