// The metrics call. Each server is read by a thread of its own (each curl run
// is a child process, so the waits overlap); sessions are files and are read
// meanwhile. A server is asked for /props and /metrics first, and /slots only
// when it is awake and not known idle: /slots would wake a sleeping server,
// and restarts the idle timer of an awake one. A scraper rejects a whole
// answer that repeats a series, so a repeated session name or slot id is
// left out.
#include "slots/handle_metrics.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>
#include <set>
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
  /// Slots known idle without reading /slots (its /metrics showed no
  /// request): each is written as not processing, with no counts.
  std::size_t idle_slots = 0;
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

// Reads the slots of `json` into `slots`, each slot id once (the first).
bool read_unique_slots(std::string_view json, std::vector<SlotNumbers>* slots) {
  if (!read_slot_numbers(json, slots)) return false;
  std::set<std::string> seen;
  std::erase_if(*slots, [&seen](const SlotNumbers& slot) { return !seen.insert(slot.id).second; });
  return true;
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

// What a /metrics transfer tells about a server's requests.
struct Requests {
  std::optional<double> processing;  ///< llamacpp:requests_processing
  std::optional<double> deferred;    ///< llamacpp:requests_deferred

  /// Neither working on a request nor holding one back: every slot is idle.
  bool idle() const { return processing == 0.0 && deferred == 0.0; }
};

Requests requests_of(const Transfer& transfer) {
  Requests requests;
  double value = 0;
  if (!answered_200(transfer)) return requests;
  if (text::find_metric(transfer.body, "llamacpp:requests_processing", &value)) {
    requests.processing = value;
  }
  if (text::find_metric(transfer.body, "llamacpp:requests_deferred", &value)) {
    requests.deferred = value;
  }
  return requests;
}

// The slot count of /props as a number; 0 when absent or out of range.
std::size_t slot_count(const PropsFields& fields) {
  const std::string& text = fields.total_slots;
  if (text.empty() || text.size() > 4) return 0;
  std::size_t count = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return 0;
    count = count * 10 + static_cast<std::size_t>(c - '0');
  }
  return count;
}

// What /props and /metrics of one awake server (or router model) settle
// before /slots: its requests waiting, and whether /slots is needed at all.
// Every /slots request restarts the server's idle timer, so a server whose
// /metrics shows no request running or waiting is not asked: its slots are
// all idle, and it may fall asleep. False when /slots is to be read.
bool settle_without_slots(const PropsFields& fields, const Transfer& metrics, SlotGroup* group) {
  if (fields.endpoint_metrics != true) return false;
  const Requests requests = requests_of(metrics);
  group->deferred = requests.deferred;
  if (!requests.idle()) return false;
  group->idle_slots = slot_count(fields);
  return true;
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

// The loaded models of a router, each asked for /props and /metrics and,
// when awake and busy, for /slots: one curl run per step for all of them.
// The router is up when its list was read and every model's state was
// settled.
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
    SlotGroup group;
    group.model = model.id;
    result->groups.push_back(std::move(group));
    addresses.push_back(model_address(server.url, model.id));
  }
  result->up = true;
  if (addresses.empty()) return;

  std::vector<std::string> endpoints;
  for (const std::string& address : addresses) {
    endpoints.push_back(props_endpoint(address));
    endpoints.push_back(metrics_endpoint(address));
  }
  const FetchedAll props = fetch_within(env, endpoints, deadline);
  // The models whose /slots is read, by group, in the order asked.
  std::vector<std::size_t> asked;
  endpoints.clear();
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    SlotGroup& group = result->groups[i];
    PropsFields fields;
    const Transfer& transfer = props.transfers[2 * i];
    // A router that answers for itself knows nothing of the model's sleep.
    if (answered_200(transfer) && read_props(transfer.body, &fields) && fields.role != "router") {
      group.sleeping = fields.is_sleeping;
    } else {
      fields = PropsFields();
    }
    if (group.sleeping == true) continue;
    if (settle_without_slots(fields, props.transfers[2 * i + 1], &group)) continue;
    asked.push_back(i);
    endpoints.push_back(slots_endpoint(addresses[i]));
  }
  if (endpoints.empty()) return;
  const FetchedAll fetched = fetch_within(env, endpoints, deadline);
  for (std::size_t n = 0; n < asked.size(); ++n) {
    SlotGroup& group = result->groups[asked[n]];
    const Transfer& slots = fetched.transfers[n];
    if (!answered_200(slots) || !read_unique_slots(slots.body, &group.slots)) result->up = false;
  }
}

// One configured server: /props with /metrics in one curl run, then, when it
// is awake and /metrics does not show it idle, /slots.
void scrape_server(const platform::Environment& env, const ConfiguredServer& server,
                   SourceResult* result) {
  const Clock::time_point deadline = Clock::now() + kSourceLimit;
  // /metrics neither wakes a server nor restarts its idle timer; one that
  // does not enable it answers an error, which is ignored.
  const FetchedAll first =
      fetch_within(env, {props_endpoint(server.url), metrics_endpoint(server.url)}, deadline);
  const Transfer& props = first.transfers[0];
  // Nothing answered: the server is down, and /slots would only wait again.
  if (!props.ok) return;
  PropsFields fields;
  // Only a llama.cpp server's /props (it names its build) is trusted for
  // sleeping, routing and requests; any other address is asked for /slots.
  const bool llama =
      props.http_code == 200 && read_props(props.body, &fields) && fields.build_info.has_value();
  if (!llama) fields = PropsFields();
  if (fields.role == "router") {
    scrape_router(env, server, deadline, result);
    return;
  }
  SlotGroup group;
  group.sleeping = fields.is_sleeping;
  if (group.sleeping == true || settle_without_slots(fields, first.transfers[1], &group)) {
    result->up = group.sleeping != true;
    if (result->up && !group.sleeping) group.sleeping = false;
    result->groups.push_back(std::move(group));
    return;
  }
  const FetchedAll fetched = fetch_within(env, {slots_endpoint(server.url)}, deadline);
  const Transfer& slots = fetched.transfers[0];
  result->up = answered_200(slots) && read_unique_slots(slots.body, &group.slots);
  if (result->up && !group.sleeping) group.sleeping = false;
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
  std::set<std::string> names;
  for (const Listed& session : listed) {
    if (!names.insert(session.name).second) continue;
    SourceResult result;
    result.name = session.name;
    result.kind = "session";
    SlotGroup group;
    text::Capture bytes;
    result.up = read_slots_file(session.dir + platform::kPathSep + "slots.json", &bytes) &&
                bytes.size >= 2 && read_unique_slots(bytes.view(), &group.slots);
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
    const bool processing = &series == &kSlotSeries[0];
    for (const SourceResult& r : results) {
      for (const SlotGroup& g : r.groups) {
        for (std::size_t slot = 0; processing && slot < g.idle_slots; ++slot) {
          const std::string id = std::to_string(slot);
          family.add({{"source", r.name}, {"kind", r.kind}, {"model", g.model}, {"slot", id}}, 0);
        }
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
