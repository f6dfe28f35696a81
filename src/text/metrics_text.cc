#include "text/metrics_text.h"

#include <charconv>
#include <cmath>

namespace text {

namespace {

bool is_blank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view skip_blanks(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && is_blank(s[i])) ++i;
  return s.substr(i);
}

// The rest of `line` after a label set that starts it ("{...}"), or npos
// when the set does not close. Label values are quoted and may hold '}' and
// escaped quotes.
std::size_t end_of_labels(std::string_view line) {
  bool quoted = false;
  for (std::size_t i = 1; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        quoted = false;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == '}') {
      return i + 1;
    }
  }
  return std::string_view::npos;
}

// The value of a sample line that starts with the metric's name; false when
// the line is of another metric (a longer name), malformed or not finite.
bool sample_value(std::string_view rest, bool* same_metric, double* value) {
  *same_metric = false;
  if (!rest.empty() && rest[0] == '{') {
    const std::size_t end = end_of_labels(rest);
    if (end == std::string_view::npos) {
      *same_metric = true;
      return false;
    }
    rest = rest.substr(end);
  } else if (rest.empty() || !is_blank(rest[0])) {
    return false;  // another metric whose name starts with this one
  }
  *same_metric = true;
  rest = skip_blanks(rest);
  std::size_t token = 0;
  while (token < rest.size() && !is_blank(rest[token])) ++token;
  if (token == 0) return false;
  double parsed = 0;
  const char* first = rest.data();
  const char* last = first + token;
  const auto [end, error] = std::from_chars(first, last, parsed);
  if (error != std::errc() || end != last || !std::isfinite(parsed)) return false;
  *value = parsed;
  return true;
}

}  // namespace

bool find_metric(std::string_view text, std::string_view name, double* value) {
  if (name.empty()) return false;
  while (!text.empty()) {
    const std::size_t newline = text.find('\n');
    std::string_view line = text.substr(0, newline);
    text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line = skip_blanks(line);
    if (line.empty() || line[0] == '#' || line.substr(0, name.size()) != name) continue;
    bool same_metric = false;
    const bool found = sample_value(line.substr(name.size()), &same_metric, value);
    if (same_metric) return found;
  }
  return false;
}

std::string json_number(double value) {
  char buffer[32];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  if (error != std::errc()) return "0";
  return std::string(buffer, end);
}

}  // namespace text
