#include "text/json_field.h"

#include <algorithm>
#include <cstring>

namespace text {

namespace {

// The quoted name is built in a buffer of this size, so at most one byte less
// of it is searched for: a very long name loses its closing quote.
constexpr std::size_t kPatternBuffer = 128;

bool is_json_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

char unescape(char c) {
  switch (c) {
    case 'n':
      return '\n';
    case 'r':
      return '\r';
    case 't':
      return '\t';
    default:
      return c;
  }
}

}  // namespace

bool json_extract_str_after(std::string_view text, std::size_t begin, std::size_t end,
                            std::string_view name, std::size_t capacity, std::string* out) {
  out->clear();
  end = std::min(end, text.size());
  if (begin >= end) return false;

  // The text ends at its first NUL. Only the window and the one character
  // after it (the partner of a trailing backslash) can ever be read.
  const std::size_t reach = std::min(end + 1, text.size());
  const void* nul = std::memchr(text.data() + begin, '\0', reach - begin);
  const std::size_t limit =
      nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - text.data())
                     : text.size();
  end = std::min(end, limit);
  if (begin >= end) return false;

  name = name.substr(0, name.find('\0'));
  char pattern_buffer[kPatternBuffer];
  std::size_t length = 0;
  pattern_buffer[length++] = '"';
  for (char c : name) {
    if (length == kPatternBuffer - 1) break;
    pattern_buffer[length++] = c;
  }
  if (length < kPatternBuffer - 1) pattern_buffer[length++] = '"';
  const std::string_view pattern(pattern_buffer, length);

  // An occurrence that is not wholly inside the window can never be followed
  // by a value inside it, so searching the window alone gives the same answer
  // as searching the rest of the text, at a cost bounded by the window.
  const std::string_view window = text.substr(0, end);
  const std::size_t keep = capacity > 0 ? capacity - 1 : 0;
  std::size_t search = begin;
  for (;;) {
    const std::size_t at = window.find(pattern, search);
    if (at == std::string_view::npos) return false;
    std::size_t p = at + pattern.size();
    if (p >= end) return false;
    search = p;

    while (p < end && is_json_space(text[p])) ++p;
    if (p >= end || text[p] != ':') continue;
    ++p;
    while (p < end && is_json_space(text[p])) ++p;
    if (p >= end || text[p] != '"') continue;
    ++p;

    while (p < end && text[p] != '"' && out->size() < keep) {
      if (text[p] != '\\') {
        out->push_back(text[p]);
        ++p;
      } else if (p + 1 < limit) {
        out->push_back(unescape(text[p + 1]));
        p += 2;
      } else {
        // A backslash right before the end of the text stands for itself.
        out->push_back('\\');
        break;
      }
    }
    return true;
  }
}

}  // namespace text
