#include "plugin_slots/dispatch.h"

#include <array>
#include <cstring>
#include <string>

#include "plugin_slots/access.h"
#include "plugin_slots/page.h"
#include "sessions/handle_sessions.h"
#include "slots/handle_slots.h"
#include "text/query.h"

namespace slots {

namespace {

constexpr std::size_t kActionCapacity = 64;
constexpr std::size_t kFormatCapacity = 32;

void respond_page(const platform::Environment&, Output& out) {
  write_page(out);
}

// One row per responder, tried top to bottom; a null field matches anything.
struct Route {
  const char* action;
  const char* format;
  void (*respond)(const platform::Environment&, Output&);
};

constexpr std::array<Route, 5> kRoutes = {{
    {"sessions", nullptr, handle_sessions},
    {"slots", nullptr, handle_slots},
    {"models", nullptr, handle_models},
    {nullptr, "json", handle_slots},
    {nullptr, nullptr, respond_page},
}};

bool matches(const char* want, const std::string& value) {
  return want == nullptr || value == want;
}

}  // namespace

int run_request(int argc, const char* const* argv, const platform::Environment& env, Output& out) {
  if ((argc > 1 && std::strcmp(argv[1], "--meta") == 0) || env.plugin_meta != nullptr) {
    out.raw(kMetaLine);
    return 0;
  }
  if (!check_access(env, out)) return 0;

  const std::string_view query = env.query_string != nullptr ? env.query_string : "";
  std::string action;
  std::string format;
  text::get_query_val(query, "action", kActionCapacity, &action);
  text::get_query_val(query, "format", kFormatCapacity, &format);
  for (const Route& route : kRoutes) {
    if (matches(route.action, action) && matches(route.format, format)) {
      route.respond(env, out);
      break;
    }
  }
  return 0;
}

}  // namespace slots
