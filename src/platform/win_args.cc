#include "platform/win_args.h"

namespace platform {

namespace {

bool needs_quotes(std::string_view arg) {
  return arg.empty() || arg.find_first_of(" \t\n\v\"") != std::string_view::npos;
}

bool is_separator(char c) {
  return c == '\\' || c == '/' || c == ':';
}

std::string with_extension(std::string_view path) {
  std::size_t leaf = 0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (is_separator(path[i])) leaf = i + 1;
  }
  std::string out(path);
  if (path.substr(leaf).find('.') == std::string_view::npos) out += ".exe";
  return out;
}

}  // namespace

std::string quote_windows_arg(std::string_view arg) {
  if (!needs_quotes(arg)) return std::string(arg);
  std::string out = "\"";
  std::size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes are literal unless a double quote follows them: then each
    // one needs a partner, and the quote itself one more.
    if (c == '"') backslashes = backslashes * 2 + 1;
    out.append(backslashes, '\\');
    out += c;
    backslashes = 0;
  }
  // The closing quote follows the last run of backslashes, so double it.
  out.append(backslashes * 2, '\\');
  out += '"';
  return out;
}

std::string windows_command_line(const std::vector<std::string>& argv) {
  if (argv.empty() || argv[0].empty() || argv[0].find('"') != std::string::npos) return {};
  // A command line is a C string: a NUL byte would silently cut it.
  for (const std::string& arg : argv) {
    if (arg.find('\0') != std::string::npos) return {};
  }
  std::string line = "\"" + argv[0] + "\"";
  for (std::size_t i = 1; i < argv.size(); ++i) {
    line += ' ';
    line += quote_windows_arg(argv[i]);
  }
  return line;
}

std::vector<std::string> program_candidates(std::string_view program,
                                            std::string_view search_path) {
  std::vector<std::string> out;
  if (program.empty()) return out;
  const std::string name = with_extension(program);
  for (char c : program) {
    if (is_separator(c)) {
      out.push_back(name);
      return out;
    }
  }
  while (!search_path.empty()) {
    const std::size_t end = search_path.find(';');
    std::string_view dir = search_path.substr(0, end);
    search_path = end == std::string_view::npos ? std::string_view() : search_path.substr(end + 1);
    if (dir.size() >= 2 && dir.front() == '"' && dir.back() == '"') {
      dir = dir.substr(1, dir.size() - 2);
    }
    if (dir.empty()) continue;
    std::string path(dir);
    if (path.back() != '\\' && path.back() != '/') path += '\\';
    out.push_back(path + name);
  }
  return out;
}

}  // namespace platform
