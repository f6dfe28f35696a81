// The slots call: slots from a llama.cpp server address or from a session.
#pragma once

#include <string_view>

#include "platform/platform.h"
#include "text/output.h"
#include "text/query.h"

namespace slots {

/// Answers the slots call for the request's `url` and `id` parameters: a
/// non-empty `url` fetches the server's /slots with curl; otherwise a safe `id`
/// relays that session's slots.json; otherwise the 400 that asks for a choice.
/// Writes exactly one complete response.
void handle_slots(const platform::Environment& env, const text::Query& query, text::Output& out);

/// The answer to an address that fails the scheme or character test.
inline constexpr std::string_view kInvalidUrl = "invalid url (must be http:// or https://)";

/// The server-address branch for an address as received (decoded, not empty).
void reply_server_slots(const platform::Environment& env, std::string_view url, text::Output& out);

/// The models call: a llama.cpp router's model list for the request's `url`,
/// reduced to each model's id and state. Writes exactly one complete response.
void handle_models(const platform::Environment& env, const text::Query& query, text::Output& out);

/// The props call: the facts a llama.cpp server gives on /props for the
/// request's `url` (is_sleeping, total_slots, model_alias, build_info,
/// endpoint_metrics, role), and with `metrics=1` its request counters from
/// /metrics, fetched in the same curl run. Writes exactly one complete
/// response.
void handle_props(const platform::Environment& env, const text::Query& query, text::Output& out);

/// The router call: a llama.cpp router's model list as the models call gives
/// it, and the slots of the models the request names (`models`: ids, each
/// percent-encoded and ended by a comma, at most 64), and the request
/// counters of /metrics of the models named in `quiet` (the same way), all
/// fetched in one curl run. Writes exactly one complete response.
void handle_router(const platform::Environment& env, const text::Query& query, text::Output& out);

/// The session branch for an identifier that passed safe_id.
void reply_session_slots(const platform::Environment& env, std::string_view id, text::Output& out);

}  // namespace slots
