#include "plugin_slots/dispatch.h"

#include <array>

#include "plugin_slots/access.h"
#include "plugin_slots/page.h"
#include "sessions/handle_sessions.h"
#include "slots/handle_metrics.h"
#include "slots/handle_slots.h"

namespace slots {

namespace {

void respond_page(const platform::Environment&, const text::Query&, text::Output& out) {
  write_page(out);
}

// The sessions answer carries the configured servers too (when there are
// any), so the page learns of them with the one call it makes at start.
void respond_sessions(const platform::Environment& env, const text::Query&, text::Output& out) {
  handle_sessions(env, out, write_fleet_members);
}

// One row per responder, tried top to bottom; a null field matches anything.
struct Route {
  const char* action;
  const char* format;
  void (*respond)(const platform::Environment&, const text::Query&, text::Output&);
};

constexpr std::array<Route, 9> kRoutes = {{
    {"sessions", nullptr, respond_sessions},
    {"slots", nullptr, handle_slots},
    {"models", nullptr, handle_models},
    {"props", nullptr, handle_props},
    {"servers", nullptr, handle_servers},
    {"metrics", nullptr, handle_metrics},
    {"router", nullptr, handle_router},
    {nullptr, "json", handle_slots},
    {nullptr, nullptr, respond_page},
}};

bool matches(const char* want, const std::string& value) {
  return want == nullptr || value == want;
}

}  // namespace

int run_request(int argc, const char* const* argv, const platform::Environment& env,
                text::Output& out) {
  const Request request = read_request(argc, argv, env);
  if (request.meta) {
    out.raw(kMetaLine);
    return 0;
  }
  if (!check_access(request, out)) return 0;
  for (const Route& route : kRoutes) {
    if (matches(route.action, request.query.action) &&
        matches(route.format, request.query.format)) {
      route.respond(env, request.query, out);
      break;
    }
  }
  return 0;
}

}  // namespace slots
