// Reading the environment is the same everywhere: the C runtime's getenv.
#include <cstdlib>

#include "platform/platform.h"

namespace platform {

Environment read_environment() {
  Environment env;
  env.query_string = std::getenv("QUERY_STRING");
  env.plugin_meta = std::getenv("QV_PLUGIN_META");
  env.bot_password = std::getenv("BOT_PASSWORD");
  env.x_bot_password = std::getenv("HTTP_X_BOT_PASSWORD");
  env.authorization = std::getenv("HTTP_AUTHORIZATION");
  env.referer = std::getenv("HTTP_REFERER");
  env.sessions_dir = std::getenv("QV_SESSIONS_DIR");
  env.tmux_bin = std::getenv("VELUNORA_TMUX_BIN");
  env.local_app_data = std::getenv("LOCALAPPDATA");
  env.user_profile = std::getenv("USERPROFILE");
  env.xdg_data_home = std::getenv("XDG_DATA_HOME");
  env.home = std::getenv("HOME");
  env.llama_api_keys = std::getenv("QV_LLAMA_API_KEYS");
  return env;
}

}  // namespace platform
