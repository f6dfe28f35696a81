#include "slots/server_url.h"

#include <algorithm>

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

// True when the query (without "?") holds a parameter of that name, with or
// without a value. Names are compared as written, as the server reads them.
bool has_parameter(std::string_view query, std::string_view name) {
  while (!query.empty()) {
    const std::size_t amp = query.find('&');
    const std::string_view pair = query.substr(0, amp);
    if (pair.substr(0, pair.find('=')) == name) return true;
    if (amp == std::string_view::npos) break;
    query.remove_prefix(amp + 1);
  }
  return false;
}

// `out` with "autoload=false" added to its query when the query names a
// `model` (a router's model) and sets no `autoload` itself.
std::string never_autoload(std::string out) {
  // The query is what stands between the first "?" and a "#"; a "?" inside
  // the fragment starts none.
  const std::size_t question = out.find_first_of("?#");
  if (question == std::string::npos || out[question] != '?') return out;
  const std::size_t hash = std::min(out.find('#', question), out.size());
  const std::string_view query = std::string_view(out).substr(question + 1, hash - question - 1);
  if (!has_parameter(query, "model") || has_parameter(query, "autoload")) return out;
  // The query names a model, so it is not empty: the parameter follows it.
  out.insert(hash, "&autoload=false");
  return out;
}

// The address's path with trailing slashes, then one "/slots", then one "/v1"
// removed and `path` appended; the query and fragment follow unchanged.
std::string sibling_endpoint(std::string_view url, std::string_view path) {
  const std::size_t tail = std::min(url.find_first_of("?#"), url.size());
  std::string out(url.substr(0, tail));
  while (!out.empty() && out.back() == '/') out.pop_back();
  if (ends_with(out, "/slots")) out.resize(out.size() - 6);
  if (ends_with(out, "/v1")) out.resize(out.size() - 3);
  out += path;
  out += url.substr(tail);
  return out;
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
  // The query and the fragment stay as they are: only the path is completed.
  const std::size_t tail = std::min(url.find_first_of("?#"), url.size());
  std::string out(url.substr(0, tail));
  while (!out.empty() && out.back() == '/') out.pop_back();
  if (!ends_with(out, "/slots")) {
    if (ends_with(out, "/v1")) out.resize(out.size() - 3);
    out += "/slots";
  }
  out += url.substr(tail);
  return out;
}

std::string slots_endpoint(std::string_view url) {
  return never_autoload(normalise_server_url(url));
}

std::string models_endpoint(std::string_view url) {
  return sibling_endpoint(url, "/models");
}

std::string props_endpoint(std::string_view url) {
  return never_autoload(sibling_endpoint(url, "/props"));
}

std::string metrics_endpoint(std::string_view url) {
  return never_autoload(sibling_endpoint(url, "/metrics"));
}

}  // namespace slots
