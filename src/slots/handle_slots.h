// The slots call: slots from a llama.cpp server address or from a session.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"
#include "slots/model_list.h"
#include "text/output.h"
#include "text/query.h"

namespace slots {

/// Answers the slots call for the request's `url`, `server` and `id`
/// parameters: the address that choose_address picks has its /slots fetched
/// with curl; without `url` and `server` a safe `id` relays that session's
/// slots.json; otherwise the 400 that asks for a choice. Writes exactly one
/// complete response.
void handle_slots(const platform::Environment& env, const text::Query& query, text::Output& out);

/// The answer to an address that fails the scheme or character test.
inline constexpr std::string_view kInvalidUrl = "invalid url (must be http:// or https://)";
/// The answer to a typed address that the host does not let the program fetch.
inline constexpr std::string_view kAddressNotAllowed = "address not allowed";
/// The answer to a `server` name that the host did not configure.
inline constexpr std::string_view kUnknownServer = "unknown server";

/// What choose_address found.
enum class Chosen {
  kNone,      ///< neither `url` nor `server` given
  kAddress,   ///< an address to fetch
  kAnswered,  ///< a failure was answered
};

/// The address that a call about one llama.cpp server fetches. A non-empty
/// `url` wins: it must pass valid_server_url (else the 400 kInvalidUrl), and
/// when only_configured_addresses holds, have the origin of a configured
/// server (else the 403 kAddressNotAllowed); both failures carry the address
/// as received. Otherwise a non-empty `server` names a server of
/// QV_LLAMA_SERVERS, whose address is taken as configured (else the 404
/// kUnknownServer, without a url member).
Chosen choose_address(const platform::Environment& env, const text::Query& query,
                      std::string* address, text::Output& out);

/// choose_address for the calls that need a server (models, props, router):
/// true with `address` set, or false once the failure is answered (neither
/// `url` nor `server`: the 400 "enter a llama.cpp URL").
bool server_address_or_reply(const platform::Environment& env, const text::Query& query,
                             std::string* address, text::Output& out);

/// Reads a /models body (more than one byte, fetched from `endpoint`) into
/// `models`, or answers the 502: not JSON, the server's own error message, or
/// no model list. False when it answered.
bool model_list_or_reply(std::string_view data, const std::string& endpoint,
                         std::vector<ModelEntry>* models, text::Output& out);

/// Writes "models":[{"id":..,"status":..},..] (a status only when known).
void write_models_member(text::Output& out, const std::vector<ModelEntry>& models);

/// The server-address branch for an address that choose_address picked. With
/// `with_metrics` (the request's metrics=1) the server's /metrics is read in
/// the same curl run, and a wrapped answer gains ,"metrics":{...} with its
/// request counters (each when read; nothing when /metrics fails or holds
/// neither), so a page that shows the queue beside the slots still makes one
/// call and one curl run a poll.
void reply_server_slots(const platform::Environment& env, std::string_view url, bool with_metrics,
                        text::Output& out);

/// The request counters of a /metrics body as a JSON object,
/// {"requests_processing":N,"requests_deferred":N}, each only when read;
/// empty when neither was.
std::string metrics_member(std::string_view metrics);

/// The servers call: the servers of QV_LLAMA_SERVERS in their order, each
/// with its name and normalised address, and "addresses":"configured" last
/// when only their origins may be fetched. Writes exactly one complete
/// response.
void handle_servers(const platform::Environment& env, const text::Query& query, text::Output& out);

/// The servers call's members for another answer that is being written:
/// ,"servers":[...] when servers are configured, then ,"addresses":"configured"
/// when only their addresses may be fetched; nothing when neither applies. The
/// sessions call carries them, so the page learns of the servers without a
/// call of its own.
void write_fleet_members(const platform::Environment& env, text::Output& out);

/// The models call: a llama.cpp router's model list for the address that
/// choose_address picks, reduced to each model's id and state. Writes exactly
/// one complete response.
void handle_models(const platform::Environment& env, const text::Query& query, text::Output& out);

/// The props call: the facts a llama.cpp server gives on /props for the
/// address that choose_address picks (is_sleeping, total_slots, model_alias,
/// build_info, endpoint_metrics, role), and with `metrics=1` its request
/// counters from /metrics, fetched in the same curl run. Writes exactly one
/// complete response.
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
