#include "slots/server_url.h"

namespace slots {

namespace {

constexpr std::size_t kMaxIdLength = 160;
constexpr std::string_view kUrlPunctuation = ":/.-_~%?&#=+@,";

// isalnum in the "C" locale, without consulting the locale at all.
bool is_ascii_alnum(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool ends_with(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

}  // namespace

bool safe_id(std::string_view id) {
  if (id.empty() || id.size() > kMaxIdLength) return false;
  for (char c : id) {
    if (!is_ascii_alnum(c) && c != '-' && c != '.' && c != ':' && c != '_') return false;
  }
  return id.find("..") == std::string_view::npos;
}

bool valid_server_url(std::string_view url) {
  if (url.substr(0, 7) != "http://" && url.substr(0, 8) != "https://") return false;
  for (char c : url) {
    if (!is_ascii_alnum(c) && kUrlPunctuation.find(c) == std::string_view::npos) return false;
  }
  return true;
}

std::string normalise_server_url(std::string_view url) {
  std::string out(url);
  while (!out.empty() && out.back() == '/') out.pop_back();
  if (ends_with(out, "/slots")) return out;
  if (ends_with(out, "/v1")) out.resize(out.size() - 3);
  out += "/slots";
  return out;
}

}  // namespace slots
