#include "sessions/user_folders.h"

namespace slots {

namespace {

// A base folder keeps this many characters, so that every path built on it
// fits the fixed buffers the paths were laid out for.
constexpr std::size_t kBaseLimit = 460;

// The value of `name` when it is set and not empty, else null.
const char* non_empty(const platform::Environment& env, const char* name) {
  const char* value = env.get(name);
  return value != nullptr && value[0] != '\0' ? value : nullptr;
}

std::string cut_base(std::string base) {
  if (base.size() > kBaseLimit) base.resize(kBaseLimit);
  return base;
}

}  // namespace

std::string tmux_program() {
  return std::string("velunora-tmux") + platform::kExeSuffix;
}

std::string app_data_base(const platform::Environment& env) {
  if (const char* value = non_empty(env, "LOCALAPPDATA")) return cut_base(value);
  if (platform::kWindows) return {};
  if (const char* value = non_empty(env, "XDG_DATA_HOME")) return cut_base(value);
  if (const char* value = non_empty(env, "HOME"))
    return cut_base(std::string(value) + "/.local/share");
  return {};
}

std::string default_tool_path(const platform::Environment& env) {
  // Windows builds it from the whole variable: only the finished path is cut,
  // to its capacity, by the caller. (The session root is built from a base
  // cut to 460 on both.)
  const std::string base =
      platform::kWindows
          ? std::string(non_empty(env, "LOCALAPPDATA") ? env.get("LOCALAPPDATA") : "")
          : app_data_base(env);
  if (base.empty()) return {};
  std::string path = base;
  path += platform::kPathSep;
  path += "velunora";
  path += platform::kPathSep;
  path += tmux_program();
  return path;
}

std::string profile_base(const platform::Environment& env) {
  if (const char* value = non_empty(env, "USERPROFILE")) return cut_base(value);
  if (platform::kWindows) return {};
  if (const char* value = non_empty(env, "HOME")) return cut_base(value);
  return {};
}

}  // namespace slots
