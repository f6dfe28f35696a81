// The metrics call. Each server is read by a thread of its own (each curl run
// is a child process, so the waits overlap); sessions are files and are read
// meanwhile. A server is asked for /props first, and /slots only when it is
// awake: /slots would wake a sleeping server and restart its idle timer.
#include "slots/handle_metrics.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "sessions/session_list.h"
#include "sessions/session_roots.h"
#include "slots/fleet.h"
#include "slots/model_list.h"
#include "slots/props_fields.h"
#include "slots/server_fetch.h"
#include "slots/server_url.h"
#include "slots/slot_numbers.h"
#include "slots/slots_file.h"
#include "text/exposition.h"
#include "text/metrics_text.h"

namespace slots {

namespace {

using Clock = std::chrono::steady_clock;

/// Each source gets this long in all, however many curl runs it takes.
constexpr std::chrono::milliseconds kSourceLimit(4000);
/// Most sources read at the same moment.
constexpr std::size_t kMaxWorkers = 32;
/// Most loaded models of one router read.
constexpr std::size_t kMaxRouterModels = 64;

/// The slots of one server, or of one model of a router.
struct SlotGroup {
  std::string model;               ///< empty outside a router
  std::optional<bool> sleeping;    ///< what /props said, when it said it
  std::vector<SlotNumbers> slots;  ///< empty when asleep or unread
  std::optional<double> deferred;  ///< requests waiting for a slot, from /metrics
};

struct SourceResult {
  std::string name;
  const char* kind = "server";
  bool up = false;
  std::vector<SlotGroup> groups;
};

// What is left of the source's time; zero or less when it is spent.
std::chrono::milliseconds remaining(Clock::time_point deadline) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
}

// One curl run for `endpoints` within the source's time; transfers all
// failed when there was no time left.
FetchedAll fetch_within(const platform::Environment& env, const std::vector<std::string>& endpoints,
                        Clock::time_point deadline) {
  const std::chrono::milliseconds left = remaining(deadline);
  if (left.count() <= 0) {
    FetchedAll none;
    none.transfers.resize(endpoints.size());
    return none;
  }
  return fetch_endpoints(env, endpoints, left);
}

bool answered_200(const Transfer& transfer) {
  return transfer.ok && transfer.http_code == 200;
}

// The requests waiting for a slot in a /metrics transfer, when it has them.
std::optional<double> deferred_of(const Transfer& transfer) {
  double value = 0;
  if (answered_200(transfer) &&
      text::find_metric(transfer.body, "llamacpp:requests_deferred", &value)) {
    return value;
  }
  return std::nullopt;
}

// The address of one model of a router: `model=ID` (percent-encoded) added
// to the configured address's query.
std::string model_address(const std::string& url, std::string_view id) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (const char c : id) {
    const auto byte = static_cast<unsigned char>(c);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '.' || c == '_' || c == '~') {
      encoded += c;
    } else {
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 15];
    }
  }
  const std::size_t fragment = std::min(url.find('#'), url.size());
  std::string address = url.substr(0, fragment);
  address += address.find('?') == std::string::npos ? '?' : '&';
  address += "model=" + encoded;
  address += url.substr(fragment);
  return address;
}

// The loaded models of a router, each asked for /props and, when awake, for
// /slots (and /metrics where it has them): one curl run per step for all of
// them. The router is up when its list was read and every awake model's
// slots came.
void scrape_router(const platform::Environment& env, const ConfiguredServer& server,
                   Clock::time_point deadline, SourceResult* result) {
  const FetchedAll listed = fetch_within(env, {models_endpoint(server.url)}, deadline);
  std::vector<ModelEntry> models;
  if (!answered_200(listed.transfers[0]) || !read_model_list(listed.transfers[0].body, &models)) {
    return;
  }
  std::vector<std::string> addresses;
  for (const ModelEntry& model : models) {
    if (model.status != "loaded" || addresses.size() == kMaxRouterModels) continue;
    result->groups.push_back({model.id, std::nullopt, {}, std::nullopt});
    addresses.push_back(model_address(server.url, model.id));
  }
  result->up = true;
  if (addresses.empty()) return;

  std::vector<std::string> endpoints;
  for (const std::string& address : addresses) endpoints.push_back(props_endpoint(address));
  const FetchedAll props = fetch_within(env, endpoints, deadline);
  // Per awake model: the index of its /slots transfer, and of its /metrics.
  struct Asked {
    std::size_t group;
    std::size_t slots;
    std::optional<std::size_t> metrics;
  };
  std::vector<Asked> asked;
  endpoints.clear();
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    PropsFields fields;
    const Transfer& transfer = props.transfers[i];
    if (answered_200(transfer) && read_props(transfer.body, &fields) && fields.role != "router") {
      result->groups[i].sleeping = fields.is_sleeping;
    }
    if (result->groups[i].sleeping == true) continue;
    Asked one{i, endpoints.size(), std::nullopt};
    endpoints.push_back(slots_endpoint(addresses[i]));
    if (fields.endpoint_metrics == true) {
      one.metrics = endpoints.size();
      endpoints.push_back(metrics_endpoint(addresses[i]));
    }
    asked.push_back(one);
  }
  if (endpoints.empty()) return;
  const FetchedAll fetched = fetch_within(env, endpoints, deadline);
  for (const Asked& one : asked) {
    SlotGroup& group = result->groups[one.group];
    const Transfer& slots = fetched.transfers[one.slots];
    if (!answered_200(slots) || !read_slot_numbers(slots.body, &group.slots)) result->up = false;
    if (one.metrics) group.deferred = deferred_of(fetched.transfers[*one.metrics]);
  }
}

// One configured server: /props, then (awake) /slots with /metrics where the
// server has it enabled, each in one curl run.
void scrape_server(const platform::Environment& env, const ConfiguredServer& server,
                   SourceResult* result) {
  const Clock::time_point deadline = Clock::now() + kSourceLimit;
  const FetchedAll first = fetch_within(env, {props_endpoint(server.url)}, deadline);
  const Transfer& props = first.transfers[0];
  // Nothing answered: the server is down, and /slots would only wait again.
  if (!props.ok) return;
  PropsFields fields;
  // Only a llama.cpp server's /props (it names its build) is trusted for
  // sleeping and routing; any other address is asked for its /slots.
  const bool llama =
      props.http_code == 200 && read_props(props.body, &fields) && fields.build_info.has_value();
  if (llama && fields.role == "router") {
    scrape_router(env, server, deadline, result);
    return;
  }
  SlotGroup group;
  if (llama) group.sleeping = fields.is_sleeping;
  if (group.sleeping == true) {
    result->groups.push_back(std::move(group));
    return;
  }
  std::vector<std::string> endpoints = {slots_endpoint(server.url)};
  const bool metrics = llama && fields.endpoint_metrics == true;
  if (metrics) endpoints.push_back(metrics_endpoint(server.url));
  const FetchedAll fetched = fetch_within(env, endpoints, deadline);
  const Transfer& slots = fetched.transfers[0];
  result->up = answered_200(slots) && read_slot_numbers(slots.body, &group.slots);
  if (result->up && !group.sleeping) group.sleeping = false;
  if (metrics) group.deferred = deferred_of(fetched.transfers[1]);
  result->groups.push_back(std::move(group));
}

// The listed sessions with a slots.json, as the sessions call finds them:
// the multiplexer tool's, or else the first session root's folders.
void add_sessions(const platform::Environment& env, std::vector<SourceResult>* results) {
  struct Listed {
    std::string name;
    std::string dir;
  };
  std::vector<Listed> listed;
  std::vector<SessionRecord> table;
  table.reserve(kMaxSessions);
  if (list_tmux_sessions(env, &table) > 0) {
    for (const SessionRecord& record : table) {
      if (record.has_slots) listed.push_back({record.name, record.session_dir});
    }
  } else {
    const std::vector<std::string> roots = collect_default_roots(env);
    std::vector<platform::DirEntry> entries;
    if (!roots.empty() && platform::list_dir(roots.front(), &entries)) {
      std::size_t seen = 0;
      for (const platform::DirEntry& entry : entries) {
        if (seen == kMaxSessions) break;
        if (entry.name.empty() || entry.name[0] == '.' || !entry.is_dir) continue;
        ++seen;
        const std::string dir = roots.front() + platform::kPathSep + entry.name;
        if (platform::file_exists(dir + platform::kPathSep + "slots.json")) {
          listed.push_back({entry.name, dir});
        }
      }
    }
  }
  for (const Listed& session : listed) {
    SourceResult result;
    result.name = session.name;
    result.kind = "session";
    SlotGroup group;
    text::Capture bytes;
    result.up = read_slots_file(session.dir + platform::kPathSep + "slots.json", &bytes) &&
                bytes.size >= 2 && read_slot_numbers(bytes.view(), &group.slots);
    result.groups.push_back(std::move(group));
    results->push_back(std::move(result));
  }
}

// Every series, family by family, sources in the order read.
std::string exposition(const std::vector<SourceResult>& results) {
  std::string out;
  {
    text::MetricFamily family(&out, "slots_up", "1 when the source answered with slots, else 0.",
                              "gauge");
    for (const SourceResult& r : results) {
      family.add({{"source", r.name}, {"kind", r.kind}}, r.up ? 1 : 0);
    }
  }
  {
    text::MetricFamily family(&out, "slots_sleeping",
                              "1 when the server (or router model) is asleep, 0 when awake.",
                              "gauge");
    for (const SourceResult& r : results) {
      for (const SlotGroup& g : r.groups) {
        if (g.sleeping) {
          family.add({{"source", r.name}, {"kind", r.kind}, {"model", g.model}},
                     *g.sleeping ? 1 : 0);
        }
      }
    }
  }
  struct SlotSeries {
    const char* name;
    const char* help;
    std::optional<double> (*value)(const SlotNumbers&);
  };
  static const SlotSeries kSlotSeries[] = {
      {"slots_slot_processing", "1 while the slot works on a task, else 0.",
       [](const SlotNumbers& s) -> std::optional<double> { return s.processing ? 1 : 0; }},
      {"slots_slot_context_size_tokens", "The slot's context size (n_ctx).",
       [](const SlotNumbers& s) -> std::optional<double> { return s.n_ctx; }},
      {"slots_slot_context_used_tokens", "Tokens of the slot's context in use.",
       [](const SlotNumbers& s) -> std::optional<double> { return s.used; }},
      {"slots_slot_prompt_tokens", "Tokens of the current or last prompt.",
       [](const SlotNumbers& s) -> std::optional<double> { return s.prompt; }},
      {"slots_slot_prompt_cached_tokens", "Tokens of the prompt taken from the cache.",
       [](const SlotNumbers& s) -> std::optional<double> { return s.cached; }},
      {"slots_slot_decoded_tokens",
       "Tokens generated for the current or last task; restarts with each task.",
       [](const SlotNumbers& s) -> std::optional<double> { return s.decoded; }},
      {"slots_slot_generation_tokens_per_second", "Generation speed the source reports.",
       [](const SlotNumbers& s) { return s.tg; }},
      {"slots_slot_prompt_tokens_per_second", "Prompt processing speed the source reports.",
       [](const SlotNumbers& s) { return s.pp; }},
  };
  for (const SlotSeries& series : kSlotSeries) {
    text::MetricFamily family(&out, series.name, series.help, "gauge");
    for (const SourceResult& r : results) {
      for (const SlotGroup& g : r.groups) {
        for (const SlotNumbers& slot : g.slots) {
          const std::optional<double> value = series.value(slot);
          if (!value) continue;
          family.add({{"source", r.name}, {"kind", r.kind}, {"model", g.model}, {"slot", slot.id}},
                     *value);
        }
      }
    }
  }
  {
    text::MetricFamily family(&out, "slots_requests_deferred",
                              "Requests waiting for a free slot (the server's /metrics).", "gauge");
    for (const SourceResult& r : results) {
      for (const SlotGroup& g : r.groups) {
        if (g.deferred) family.add({{"source", r.name}, {"model", g.model}}, *g.deferred);
      }
    }
  }
  return out;
}

}  // namespace

void handle_metrics(const platform::Environment& env, const text::Query&, text::Output& out) {
  const std::vector<ConfiguredServer> servers = configured_servers(env);
  std::vector<SourceResult> results(servers.size());
  for (std::size_t i = 0; i < servers.size(); ++i) results[i].name = servers[i].name;

  // Workers take the next server until none is left.
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t i = next++; i < servers.size(); i = next++) {
      scrape_server(env, servers[i], &results[i]);
    }
  };
  std::vector<std::thread> workers;
  const std::size_t count = std::min(servers.size(), kMaxWorkers);
  workers.reserve(count);
  try {
    for (std::size_t i = 0; i < count; ++i) workers.emplace_back(work);
  } catch (const std::system_error&) {
    // No more threads to be had: those started take the rest.
  }
  std::vector<SourceResult> sessions;
  add_sessions(env, &sessions);
  if (workers.empty()) work();
  for (std::thread& worker : workers) worker.join();
  for (SourceResult& session : sessions) results.push_back(std::move(session));

  out.raw(text::kExpositionHeader);
  out.raw(exposition(results));
}

}  // namespace slots
