// The metrics call for sessions (their slots.json files), a server that
// cannot be fetched, and servers through a stand-in curl: all of it runs
// under Wine too. Servers over HTTP are in metrics_http_test.cc; the access
// check through a web server in tools/test-prometheus.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "session_world.h"

namespace {

using namespace session_world;

constexpr std::string_view kHeader =
    "Content-Type: text/plain; version=0.0.4; charset=utf-8\r\n\r\n";

// The whole answer: each family's HELP and TYPE lines, then the given sample
// lines whose name is the family's.
std::string answer(const std::vector<std::string>& samples) {
  static const std::pair<const char*, const char*> kFamilies[] = {
      {"slots_up", "1 when the source answered with slots, else 0."},
      {"slots_sleeping", "1 when the server (or router model) is asleep, 0 when awake."},
      {"slots_slot_processing", "1 while the slot works on a task, else 0."},
      {"slots_slot_context_size_tokens", "The slot's context size (n_ctx)."},
      {"slots_slot_context_used_tokens", "Tokens of the slot's context in use."},
      {"slots_slot_prompt_tokens", "Tokens of the current or last prompt."},
      {"slots_slot_prompt_cached_tokens", "Tokens of the prompt taken from the cache."},
      {"slots_slot_decoded_tokens",
       "Tokens generated for the current or last task; restarts with each task."},
      {"slots_slot_generation_tokens_per_second", "Generation speed the source reports."},
      {"slots_slot_prompt_tokens_per_second", "Prompt processing speed the source reports."},
      {"slots_requests_deferred", "Requests waiting for a free slot (the server's /metrics)."},
  };
  std::string out(kHeader);
  for (const auto& [name, help] : kFamilies) {
    out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " gauge\n";
    for (const std::string& sample : samples) {
      if (sample.compare(0, sample.find_first_of("{ "), name) == 0) out += sample + "\n";
    }
  }
  return out;
}

// A repeated session name or slot id is left out: a scraper would reject the
// whole answer for one repeated series.
TEST(Metrics, SessionsAndAServerThatCannotBeFetched) {
  World world;
  world.add_session("t1", "a", {"slots.json"}, 1000,
                    R"({"updated_epoch":1,"slots":[{"id":0,"is_processing":true,"n_ctx":8192,)"
                    R"("n_prompt_tokens":1000,"n_prompt_tokens_processed":400,"n_decoded":50,)"
                    R"("tg":12.5,"pp":300},{"id":1,"is_processing":false,"n_ctx":8192},)"
                    R"({"id":1,"n_ctx":5}]})");
  world.add_session("t2", "b", {"slots.json"}, 1000,
                    R"({"slots":[{"id":0,"is_processing":true,"n_ctx":4096,)"
                    R"("n_prompt_tokens":1500,"n_prompt_tokens_cache":900,)"
                    R"("next_token":[{"n_decoded":100}],"tg":"NaN"}]})");
  world.add_session("t3", "c", {"slots.json"}, 1000, "{not json");
  world.add_session("t4", "d", {"meta.json"}, 1000, "{}");
  world.set_listing(
      listing(listed("flat", world.path("t1")) + "," + listed("q\"b\\s\nx", world.path("t2")) +
              "," + listed("broken", world.path("t3")) + "," +
              listed("no slots", world.path("t4")) + "," + listed("flat", world.path("t2"))));
  Env env = world.env("action=metrics");
  // No PATH: curl cannot be started, so the server is down and only that.
  env["QV_LLAMA_SERVERS"] = "gone=http://127.0.0.1:9 bad%name=http://h";
  const std::string s0 = R"({source="flat",kind="session",model="",slot="0"} )";
  const std::string s1 = R"({source="flat",kind="session",model="",slot="1"} )";
  const std::string b0 = R"({source="q\"b\\s\nx",kind="session",model="",slot="0"} )";
  EXPECT_EQ(run_slots(env).out, answer({
                                    R"(slots_up{source="gone",kind="server"} 0)",
                                    R"(slots_up{source="flat",kind="session"} 1)",
                                    R"(slots_up{source="q\"b\\s\nx",kind="session"} 1)",
                                    R"(slots_up{source="broken",kind="session"} 0)",
                                    "slots_slot_processing" + s0 + "1",
                                    "slots_slot_processing" + s1 + "0",
                                    "slots_slot_processing" + b0 + "1",
                                    "slots_slot_context_size_tokens" + s0 + "8192",
                                    "slots_slot_context_size_tokens" + s1 + "8192",
                                    "slots_slot_context_size_tokens" + b0 + "4096",
                                    "slots_slot_context_used_tokens" + s0 + "1050",
                                    "slots_slot_context_used_tokens" + s1 + "0",
                                    "slots_slot_context_used_tokens" + b0 + "1500",
                                    "slots_slot_prompt_tokens" + s0 + "1000",
                                    "slots_slot_prompt_tokens" + s1 + "0",
                                    "slots_slot_prompt_tokens" + b0 + "1400",
                                    "slots_slot_prompt_cached_tokens" + s0 + "600",
                                    "slots_slot_prompt_cached_tokens" + s1 + "0",
                                    "slots_slot_prompt_cached_tokens" + b0 + "900",
                                    "slots_slot_decoded_tokens" + s0 + "50",
                                    "slots_slot_decoded_tokens" + s1 + "0",
                                    "slots_slot_decoded_tokens" + b0 + "100",
                                    "slots_slot_generation_tokens_per_second" + s0 + "12.5",
                                    "slots_slot_prompt_tokens_per_second" + s0 + "300",
                                }));

  // A tool that lists nothing: the first session root's folders with a
  // slots.json, by folder name.
  world.set_listing("");
  write_file(world.root() / "root" / "s1" / "slots.json", R"({"slots":[{"id":0}]})");
  write_file(world.root() / "root" / "s2" / "meta.json", "{}");
  env = world.env("action=metrics");
  env["QV_SESSIONS_DIR"] = world.path("root");
  const std::string r0 = R"({source="s1",kind="session",model="",slot="0"} )";
  EXPECT_EQ(
      run_slots(env).out,
      answer({R"(slots_up{source="s1",kind="session"} 1)", "slots_slot_processing" + r0 + "0",
              "slots_slot_context_size_tokens" + r0 + "0",
              "slots_slot_context_used_tokens" + r0 + "0", "slots_slot_prompt_tokens" + r0 + "0",
              "slots_slot_prompt_cached_tokens" + r0 + "0",
              "slots_slot_decoded_tokens" + r0 + "0"}));
}

TEST(Metrics, ServersReadAtOnceThroughAStandInCurl) {
  // curl is a stand-in answering every URL from a folder, by the last
  // segment of its path, as curl -w would write it; three servers are read
  // by three threads, each with its own curl runs.
  TempDir dir;
  const std::string curl = install_stand_in(dir.path() / "bin", "curl");
  write_file(dir.path() / "pages" / "props",
             R"({"build_info":"b1","is_sleeping":false,"endpoint_metrics":true,"total_slots":2})");
  write_file(dir.path() / "pages" / "metrics",
             "llamacpp:requests_processing 1\nllamacpp:requests_deferred 2\n");
  write_file(dir.path() / "pages" / "slots",
             R"([{"id":0,"n_ctx":2048,"is_processing":false},{"id":1,"n_ctx":2048,)"
             R"("is_processing":true,"n_prompt_tokens":300,"n_prompt_tokens_cache":100,)"
             R"("n_decoded":50}])");
  const Env env = {{"PATH", dir.str("bin")},
                   {"QUERY_STRING", "action=metrics"},
                   {"STAND_IN_PAGES", dir.str("pages")},
                   {"QV_LLAMA_SERVERS", "a=http://h1:1 b=http://h2:2/v1 c=https://h3/x/"}};
  std::vector<std::string> samples;
  const char* servers[] = {"a", "b", "c"};
  for (const char* s : servers) {
    samples.push_back(std::string("slots_up{source=\"") + s + "\",kind=\"server\"} 1");
  }
  for (const char* s : servers) {
    samples.push_back(std::string("slots_sleeping{source=\"") + s +
                      "\",kind=\"server\",model=\"\"} 0");
  }
  const struct {
    const char* name;
    const char* values[2];  // of slot 0 and slot 1
  } per_slot[] = {{"processing", {"0", "1"}},
                  {"context_size_tokens", {"2048", "2048"}},
                  {"context_used_tokens", {"0", "300"}},
                  {"prompt_tokens", {"0", "250"}},
                  {"prompt_cached_tokens", {"0", "100"}},
                  {"decoded_tokens", {"0", "50"}}};
  for (const auto& series : per_slot) {
    for (const char* s : servers) {
      for (int slot = 0; slot < 2; ++slot) {
        std::string line = "slots_slot_";
        line.append(series.name).append("{source=\"").append(s);
        line.append("\",kind=\"server\",model=\"\",slot=\"").append(std::to_string(slot));
        line.append("\"} ").append(series.values[slot]);
        samples.push_back(line);
      }
    }
  }
  for (const char* s : servers) {
    samples.push_back(std::string("slots_requests_deferred{source=\"") + s + "\",model=\"\"} 2");
  }
  EXPECT_EQ(run_slots(env).out, answer(samples));
}

}  // namespace
