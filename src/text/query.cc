#include "text/query.h"

namespace text {

namespace {
// Raw values are decoded from a fixed scratch area of this size, so at most
// one byte less of the raw value takes part.
constexpr std::size_t kRawScratch = 1024;
}  // namespace

int hex_val(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool get_query_val(std::string_view query, std::string_view name, std::size_t capacity,
                   std::string* out) {
  out->clear();
  if (query.empty() || name.empty()) return false;

  std::string_view raw;
  bool found = false;
  for (std::size_t start = 0; start <= query.size();) {
    std::size_t end = query.find('&', start);
    if (end == std::string_view::npos) end = query.size();
    const std::string_view segment = query.substr(start, end - start);
    if (segment.size() > name.size() && segment.substr(0, name.size()) == name &&
        segment[name.size()] == '=') {
      raw = segment.substr(name.size() + 1);
      found = true;
      break;
    }
    start = end + 1;
  }
  if (!found) return false;
  if (raw.size() > kRawScratch - 1) raw = raw.substr(0, kRawScratch - 1);

  const std::size_t limit = capacity > 0 ? capacity - 1 : 0;
  std::size_t i = 0;
  while (i < raw.size() && out->size() < limit) {
    const char c = raw[i];
    if (c == '%' && i + 2 < raw.size() && hex_val(raw[i + 1]) >= 0 && hex_val(raw[i + 2]) >= 0) {
      out->push_back(static_cast<char>(hex_val(raw[i + 1]) * 16 + hex_val(raw[i + 2])));
      i += 3;
    } else {
      out->push_back(c == '+' ? ' ' : c);
      i += 1;
    }
  }
  // A decoded NUL ends the value, as it would end a C string.
  const std::size_t nul = out->find('\0');
  if (nul != std::string::npos) out->resize(nul);
  return true;
}

Query read_query(std::string_view query) {
  // A value cut to the scratch size cannot be told apart from a longer one,
  // so only the two limits above change what a caller sees.
  constexpr std::size_t kWhole = kRawScratch;
  Query q;
  get_query_val(query, "action", kWhole, &q.action);
  get_query_val(query, "format", kWhole, &q.format);
  get_query_val(query, "id", kWhole, &q.id);
  get_query_val(query, "url", kUrlLimit + 1, &q.url);
  get_query_val(query, "server", kWhole, &q.server);
  get_query_val(query, "metrics", kWhole, &q.metrics);
  get_query_val(query, "models", kWhole, &q.models);
  get_query_val(query, "quiet", kWhole, &q.quiet);
  q.has_pwd = get_query_val(query, "pwd", kPwdLimit + 1, &q.pwd);
  return q;
}

}  // namespace text
