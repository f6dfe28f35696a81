#include "sessions/tmux_listing.h"

#include "text/json_field.h"

namespace slots {

namespace {

// Index of the '}' that closes the object opening at `open`, or npos when
// the text ends first (inside a string, after a backslash or still nested).
std::size_t find_object_end(std::string_view text, std::size_t open) {
  std::size_t depth = 0;
  for (std::size_t i = open; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') {
      // Braces inside strings do not count; a backslash shields the next
      // character, so an escaped quote does not end the string.
      for (++i; i < text.size() && text[i] != '"'; ++i) {
        if (text[i] == '\\') ++i;
      }
      if (i >= text.size()) return std::string_view::npos;
    } else if (c == '{') {
      ++depth;
    } else if (c == '}') {
      if (--depth == 0) return i;
    }
  }
  return std::string_view::npos;
}

}  // namespace

std::vector<SessionRecord> parse_tmux_listing(std::string_view output) {
  std::vector<SessionRecord> records;
  records.reserve(kMaxSessions);
  output = output.substr(0, output.find('\0'));

  const std::size_t key = output.find("\"sessions\"");
  if (key == std::string_view::npos) return records;
  const std::size_t bracket = output.find('[', key);
  if (bracket == std::string_view::npos || bracket + 1 >= output.size()) return records;

  std::size_t pos = bracket + 1;
  while (records.size() < kMaxSessions) {
    const std::size_t open = output.find('{', pos);
    if (open == std::string_view::npos) break;
    const std::size_t close = find_object_end(output, open);
    if (close == std::string_view::npos) break;

    // The fields are read from the object's own text, from its '{' up to its
    // closing '}'.
    SessionRecord record;
    if (text::json_extract_str_after(output, open, close, "name", kNameCapacity, &record.name) &&
        !record.name.empty()) {
      text::json_extract_str_after(output, open, close, "worktree", kWorktreeCapacity,
                                   &record.worktree);
      if (record.worktree.empty()) {
        text::json_extract_str_after(output, open, close, "project", kWorktreeCapacity,
                                     &record.worktree);
      }
      records.push_back(std::move(record));
    }
    if (close + 1 >= output.size()) break;
    pos = close + 1;
  }
  return records;
}

}  // namespace slots
