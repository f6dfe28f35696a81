#include "sessions/tmux_tool.h"

#include <vector>

#include "sessions/user_folders.h"
#include "text/bounded.h"

namespace slots {

std::string resolve_tmux_path(const platform::Environment& env) {
  const char* bin = env.get("VELUNORA_TMUX_BIN");
  if (bin != nullptr && bin[0] != '\0') return text::str_copy(bin, kToolPathCapacity);
  const std::string installed = text::str_copy(default_tool_path(env), kToolPathCapacity);
  if (!installed.empty() && platform::path_exists(installed)) return installed;
  return tmux_program();
}

const std::string& tmux_path(const platform::Environment& env) {
  // The one piece of state that outlives a call: resolved once per process.
  static const std::string path = resolve_tmux_path(env);
  return path;
}

text::Capture run_tmux_listing(const std::string& path, std::chrono::milliseconds limit) {
  platform::ChildProcess tool;
  const std::vector<std::string> argv = {path, "--list", "--output-json"};
  if (!tool.start(argv, nullptr, limit)) return {};
  text::Capture listing =
      text::read_pipe_all([&tool](char* buffer, std::size_t n) { return tool.read(buffer, n); });
  tool.finish();
  // A tool that had to be killed may have printed half a listing; none of it
  // is trusted.
  if (tool.timed_out()) return {};
  return listing;
}

}  // namespace slots
