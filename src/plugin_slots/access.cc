#include "plugin_slots/access.h"

#include <cstring>
#include <string>

#include "text/query.h"

namespace slots {

namespace {

constexpr std::string_view kBearer = "bearer ";

std::string_view skip_spaces(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  return s;
}

bool bearer_matches(std::string_view header, std::string_view password) {
  header = skip_spaces(header);
  if (header.size() < kBearer.size()) return false;
  for (std::size_t i = 0; i < kBearer.size(); ++i) {
    char c = header[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kBearer[i]) return false;
  }
  return password_matches(skip_spaces(header.substr(kBearer.size())), password);
}

bool pwd_param_matches(const text::Query& query, std::string_view password) {
  return query.has_pwd && password_matches(query.pwd, password);
}

}  // namespace

bool password_matches(std::string_view credential, std::string_view password) {
  // Every byte of the credential is compared against the password (repeated
  // to its length), so no early exit tells how much of a guess was right.
  unsigned diff = credential.size() == password.size() ? 0u : 1u;
  if (password.empty()) return credential.empty();
  for (std::size_t i = 0; i < credential.size(); ++i) {
    diff |= static_cast<unsigned char>(credential[i]) ^
            static_cast<unsigned char>(password[i % password.size()]);
  }
  return diff == 0;
}

bool check_access(const Request& request, text::Output& out) {
  const std::string_view password = request.password;
  if (password.empty()) return true;

  if (request.x_bot_password != nullptr && password_matches(request.x_bot_password, password)) {
    return true;
  }
  if (request.authorization != nullptr && bearer_matches(request.authorization, password)) {
    return true;
  }
  if (pwd_param_matches(request.query, password)) return true;
  if (request.referer != nullptr) {
    // The page's own address carries the password when the page was opened
    // with it; its calls come with that address as the referrer.
    const char* mark = std::strchr(request.referer, '?');
    if (mark != nullptr && pwd_param_matches(text::read_query(mark + 1), password)) return true;
  }
  out.raw(kUnauthorized);
  return false;
}

}  // namespace slots
