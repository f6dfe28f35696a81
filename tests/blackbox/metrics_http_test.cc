// The metrics call against local HTTP servers, fetched by the real curl: what
// each kind of server is asked (never /slots of a sleeping one, never a model
// a router has not loaded), the series that come of it, and the time a
// scrape takes with slow and stuck servers.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "harness.h"
#include "http_server.h"

namespace {

using namespace testing_support;

RunResult scrape(const std::string& servers) {
  const char* path = std::getenv("PATH");
  return run_slots({{"PATH", path != nullptr ? path : "/usr/bin:/bin"},
                    {"QUERY_STRING", "action=metrics"},
                    {"QV_LLAMA_SERVERS", servers}});
}

// The sample lines of an answer (no comments, no header).
std::vector<std::string> samples(const std::string& answer) {
  std::vector<std::string> lines;
  std::size_t pos = answer.find("\r\n\r\n");
  pos = pos == std::string::npos ? answer.size() : pos + 4;
  while (pos < answer.size()) {
    const std::size_t end = answer.find('\n', pos);
    const std::string line = answer.substr(pos, end - pos);
    if (!line.empty() && line[0] != '#') lines.push_back(line);
    pos = end == std::string::npos ? answer.size() : end + 1;
  }
  return lines;
}

const std::string kSlot =
    R"({"id":0,"n_ctx":4096,"is_processing":true,"id_task":7,"n_prompt_tokens":120,)"
    R"("n_prompt_tokens_processed":120,"n_prompt_tokens_cache":0,"next_token":[{"n_decoded":20}]})";

// The six series of kSlot with `labels`, one line each, in family order.
std::vector<std::string> slot_series(const std::string& labels) {
  std::vector<std::string> lines;
  for (const auto& [name, value] : {std::pair{"processing", "1"},
                                    {"context_size_tokens", "4096"},
                                    {"context_used_tokens", "120"},
                                    {"prompt_tokens", "100"},
                                    {"prompt_cached_tokens", "0"},
                                    {"decoded_tokens", "20"}}) {
    std::string line = "slots_slot_";
    line.append(name).append(labels).append(" ").append(value).append("\n");
    lines.push_back(line);
  }
  return lines;
}

TEST(MetricsOverHttp, EachKindOfServerAskedOnlyWhatDoesNotWakeIt) {
  HttpServer awake, asleep, router, other, disabled, idle;
  awake.route("/props", {200, "application/json",
                         R"({"build_info":"b1","is_sleeping":false,"endpoint_metrics":true})"});
  awake.route("/slots", {200, "application/json", "[" + kSlot + "]"});
  awake.route("/metrics", {200, "text/plain", "llamacpp:requests_deferred 3\n"});
  asleep.route("/props", {200, "application/json",
                          R"({"build_info":"b1","is_sleeping":true,"endpoint_metrics":true})"});
  asleep.route("/slots", {200, "application/json", "[" + kSlot + "]"});
  router.route("/props", {200, "application/json", R"({"role":"router","build_info":"b1"})"});
  router.route(
      "/models",
      {200, "application/json",
       R"({"data":[{"id":"m/1","status":{"value":"loaded"}},)"
       R"({"id":"b","status":{"value":"unloaded"}},{"id":"z","status":{"value":"loaded"}}]})"});
  router.route("/props?model=m%2F1&autoload=false",
               {200, "application/json", R"({"build_info":"b1","is_sleeping":false})"});
  router.route("/props?model=z&autoload=false",
               {200, "application/json", R"({"build_info":"b1","is_sleeping":true})"});
  router.route("/slots?model=m%2F1&autoload=false", {200, "application/json", "[" + kSlot + "]"});
  other.route("/slots", {200, "application/json", "[" + kSlot + "]"});  // /props: 404
  disabled.route("/props", {200, "application/json", R"({"build_info":"b1","is_sleeping":false})"});
  disabled.route("/slots", {501, "application/json", R"({"error":{"code":501}})"});
  // /metrics shows nothing running or waiting: /slots (which would restart
  // the idle timer) is not asked, and the slots /props counts are idle.
  idle.route("/props", {200, "application/json",
                        R"({"build_info":"b1","is_sleeping":false,"endpoint_metrics":true,)"
                        R"("total_slots":2})"});
  idle.route("/metrics",
             {200, "text/plain", "llamacpp:requests_processing 0\nllamacpp:requests_deferred 0\n"});
  idle.route("/slots", {200, "application/json", "[" + kSlot + "]"});

  const std::string out =
      scrape("awake=" + awake.base() + " asleep=" + asleep.base() + " router=" + router.base() +
             " other=" + other.base() + " disabled=" + disabled.base() +
             " down=http://127.0.0.1:9" + " idle=" + idle.base())
          .out;
  ASSERT_EQ(out.rfind("Content-Type: text/plain; version=0.0.4; charset=utf-8\r\n\r\n", 0), 0u);
  std::string got;
  for (const std::string& line : samples(out)) got += line + "\n";
  const std::string awake_slot = R"({source="awake",kind="server",model="",slot="0"})";
  const std::string router_slot = R"({source="router",kind="server",model="m/1",slot="0"})";
  const std::string other_slot = R"({source="other",kind="server",model="",slot="0"})";
  std::string expected =
      "slots_up{source=\"awake\",kind=\"server\"} 1\n"
      "slots_up{source=\"asleep\",kind=\"server\"} 0\n"
      "slots_up{source=\"router\",kind=\"server\"} 1\n"
      "slots_up{source=\"other\",kind=\"server\"} 1\n"
      "slots_up{source=\"disabled\",kind=\"server\"} 0\n"
      "slots_up{source=\"down\",kind=\"server\"} 0\n"
      "slots_up{source=\"idle\",kind=\"server\"} 1\n"
      "slots_sleeping{source=\"awake\",kind=\"server\",model=\"\"} 0\n"
      "slots_sleeping{source=\"asleep\",kind=\"server\",model=\"\"} 1\n"
      "slots_sleeping{source=\"router\",kind=\"server\",model=\"m/1\"} 0\n"
      "slots_sleeping{source=\"router\",kind=\"server\",model=\"z\"} 1\n"
      "slots_sleeping{source=\"other\",kind=\"server\",model=\"\"} 0\n"
      "slots_sleeping{source=\"disabled\",kind=\"server\",model=\"\"} 0\n"
      "slots_sleeping{source=\"idle\",kind=\"server\",model=\"\"} 0\n";
  // Family by family, the three sources with slots in order.
  const std::vector<std::string> a = slot_series(awake_slot), r = slot_series(router_slot),
                                 o = slot_series(other_slot);
  for (std::size_t family = 0; family < a.size(); ++family) {
    expected += a[family] + r[family] + o[family];
    if (family == 0) {
      expected +=
          "slots_slot_processing{source=\"idle\",kind=\"server\",model=\"\",slot=\"0\"} 0\n"
          "slots_slot_processing{source=\"idle\",kind=\"server\",model=\"\",slot=\"1\"} 0\n";
    }
  }
  expected +=
      "slots_requests_deferred{source=\"awake\",model=\"\"} 3\n"
      "slots_requests_deferred{source=\"idle\",model=\"\"} 0\n";
  EXPECT_EQ(got, expected);

  using Targets = std::vector<std::string>;
  EXPECT_EQ(awake.requests(), (Targets{"/props", "/metrics", "/slots"}));
  EXPECT_EQ(asleep.requests(), (Targets{"/props", "/metrics"}));
  EXPECT_EQ(router.requests(),
            (Targets{"/props", "/metrics", "/models", "/props?model=m%2F1&autoload=false",
                     "/metrics?model=m%2F1&autoload=false", "/props?model=z&autoload=false",
                     "/metrics?model=z&autoload=false", "/slots?model=m%2F1&autoload=false"}));
  EXPECT_EQ(other.requests(), (Targets{"/props", "/metrics", "/slots"}));
  EXPECT_EQ(disabled.requests(), (Targets{"/props", "/metrics", "/slots"}));
  EXPECT_EQ(idle.requests(), (Targets{"/props", "/metrics"}));
}

TEST(MetricsOverHttp, SourcesReadAtOnceEachWithinFourSeconds) {
  using Clock = std::chrono::steady_clock;
  const std::string props = R"({"build_info":"b1","is_sleeping":false})";
  // Four servers that each take a second to answer /props: read one after
  // another, a scrape would take four.
  std::vector<std::unique_ptr<HttpServer>> slow;
  std::string servers;
  for (int i = 0; i < 4; ++i) {
    slow.push_back(std::make_unique<HttpServer>());
    slow.back()->route("/props", {200, "application/json", props, false, false, 1000});
    slow.back()->route("/slots", {200, "application/json", "[" + kSlot + "]"});
    servers.append("s").append(std::to_string(i)).append("=").append(slow.back()->base());
    servers.append(" ");
  }
  Clock::time_point start = Clock::now();
  std::string out = scrape(servers).out;
  const auto together = Clock::now() - start;
  EXPECT_LT(together, std::chrono::milliseconds(2500));
  for (int i = 0; i < 4; ++i) {
    EXPECT_NE(out.find("slots_up{source=\"s" + std::to_string(i) + "\",kind=\"server\"} 1\n"),
              std::string::npos);
  }

  // Each answer in time, both together not: the source's four seconds are
  // spent, it is down, and the scrape ends with the others' series.
  HttpServer stuck;
  stuck.route("/props", {200, "application/json", props, false, false, 2500});
  stuck.route("/slots", {200, "application/json", "[" + kSlot + "]", false, false, 2500});
  start = Clock::now();
  out = scrape(servers + "stuck=" + stuck.base()).out;
  const auto elapsed = Clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(3900));
  EXPECT_LT(elapsed, std::chrono::milliseconds(4900));
  EXPECT_NE(out.find("slots_up{source=\"stuck\",kind=\"server\"} 0\n"), std::string::npos);
  EXPECT_NE(out.find("slots_up{source=\"s3\",kind=\"server\"} 1\n"), std::string::npos);
  EXPECT_EQ(out.find("slots_slot_processing{source=\"stuck\""), std::string::npos);
}

}  // namespace
