#include "plugin_slots/request.h"

#include <cstring>

namespace slots {

Request read_request(int argc, const char* const* argv, const platform::Environment& env) {
  Request request;
  request.meta =
      (argc > 1 && std::strcmp(argv[1], "--meta") == 0) || env.get("QV_PLUGIN_META") != nullptr;
  if (const char* query = env.get("QUERY_STRING")) request.query_string = query;
  request.query = text::read_query(request.query_string);
  if (const char* password = env.get("BOT_PASSWORD")) request.password = password;
  request.x_bot_password = env.get("HTTP_X_BOT_PASSWORD");
  request.authorization = env.get("HTTP_AUTHORIZATION");
  request.referer = env.get("HTTP_REFERER");
  return request;
}

}  // namespace slots
