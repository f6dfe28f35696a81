// The props call with metrics=1 against a real local HTTP server, fetched by
// the real curl found on PATH: one curl run for /props and /metrics, its
// output split at the boundary lines curl writes.
#include <gtest/gtest.h>

#include <cstdlib>

#include "harness.h"
#include "http_server.h"

namespace {

using namespace testing_support;

constexpr std::string_view kBadGateway = "502 Bad Gateway";

const std::string kProps =
    R"({"default_generation_settings":{"n_ctx":4096},"total_slots":2,"model_alias":"tiny",)"
    R"("build_info":"b1-abc","is_sleeping":false,"endpoint_metrics":true})";
const std::string kPropsFields =
    R"({"is_sleeping":false,"total_slots":2,"model_alias":"tiny","build_info":"b1-abc",)"
    R"("endpoint_metrics":true})";
const std::string kMetrics =
    "# HELP llamacpp:requests_processing Number of requests processing.\n"
    "# TYPE llamacpp:requests_processing gauge\n"
    "llamacpp:requests_processing 1\n"
    "# HELP llamacpp:requests_deferred Number of requests deferred.\n"
    "# TYPE llamacpp:requests_deferred gauge\n"
    "llamacpp:requests_deferred 3\n";

RunResult call(const std::string& query, Env extra = {}) {
  const char* path = std::getenv("PATH");
  Env env = {{"PATH", path != nullptr ? path : "/usr/bin:/bin"}, {"QUERY_STRING", query}};
  env.insert(extra.begin(), extra.end());
  return run_slots(env);
}

std::string answer(const std::string& endpoint, const std::string& rest) {
  return std::string(kJsonHeader) +
         "{\"ok\":true,\"source\":\"query\",\"url\":" + json_string(endpoint) +
         ",\"updated_epoch\":EPOCH,\"props\":" + rest + "}\n";
}

TEST(PropsAndMetrics, OneCurlRunSplitIntoItsTwoAnswers) {
  HttpServer server;
  const std::string metrics_501 =
      R"({"error":{"code":501,"message":"This server does not support metrics endpoint. )"
      R"(Start it with `--metrics`","type":"not_supported_error"}})";
  const HttpAnswer props = {200, "application/json", kProps};
  const struct {
    const char* what;
    HttpAnswer props;
    HttpAnswer metrics;
    std::string expected;  // with B standing for the address's /props endpoint
  } cases[] = {
      {"both answered",
       props,
       {200, "text/plain; version=0.0.4", kMetrics},
       answer("B", kPropsFields + R"(,"metrics":{"requests_processing":1,"requests_deferred":3})")},
      {"one counter",
       props,
       {200, "text/plain", "llamacpp:requests_deferred 0\n"},
       answer("B", kPropsFields + R"(,"metrics":{"requests_deferred":0})")},
      {"/metrics not enabled",
       props,
       {501, "application/json", metrics_501},
       answer("B", kPropsFields)},
      {"/metrics without the counters",
       props,
       {200, "text/plain", "# nothing\n"},
       answer("B", kPropsFields)},
      // Cut in the middle of the number: "...deferred 10" must not count.
      {"/metrics cut off",
       props,
       {200, "text/plain", "llamacpp:requests_deferred 1" + std::string(30, '0') + "\n", false,
        true},
       answer("B", kPropsFields)},
      {"/props an error object",
       {401, "application/json",
        R"({"error":{"code":401,"message":"Invalid API Key","type":"authentication_error"}})"},
       {200, "text/plain", kMetrics},
       error_response(kBadGateway, "Invalid API Key", "B")},
      {"/props not JSON",
       {404, "text/html", "<html>not here</html>"},
       {200, "text/plain", kMetrics},
       error_response(kBadGateway, "unexpected non-JSON response from /props", "B")},
      {"/props cut off",
       {200, "application/json", kProps, false, true},
       {200, "text/plain", kMetrics},
       error_response(kBadGateway, "unable to fetch /props from llama.cpp server", "B")},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string dir = "/s" + std::to_string(n++);
    server.route(dir + "/props", c.props);
    server.route(dir + "/metrics", c.metrics);
    const std::string endpoint = server.base() + dir + "/props";
    std::string expected = c.expected;
    const std::size_t b = expected.find("\"B\"");
    expected.replace(b, 3, json_string(endpoint));
    EXPECT_EQ(mask_epoch(call("action=props&metrics=1&url=" + server.base() + dir + "/v1").out),
              expected)
        << c.what;
    const std::vector<std::string> asked = server.requests();
    ASSERT_GE(asked.size(), 2u);
    EXPECT_EQ(asked[asked.size() - 2], dir + "/props") << c.what;
    EXPECT_EQ(asked.back(), dir + "/metrics") << c.what;
  }
}

TEST(PropsAndMetrics, BothCarryTheKeyAndNeverLoadAModel) {
  HttpServer server;
  server.route("/props", {200, "application/json", kProps});
  server.route("/metrics", {200, "text/plain", kMetrics});
  const std::string b = server.base();
  EXPECT_EQ(mask_epoch(call("action=props&metrics=1&url=" + b + "%3Fmodel%3Da",
                            {{"QV_LLAMA_API_KEYS", b + "=k-123"}})
                           .out),
            answer(b + "/props?model=a&autoload=false",
                   kPropsFields + R"(,"metrics":{"requests_processing":1,"requests_deferred":3})"));
  ASSERT_EQ(server.requests().size(), 2u);
  EXPECT_EQ(server.requests()[0], "/props?model=a&autoload=false");
  EXPECT_EQ(server.requests()[1], "/metrics?model=a&autoload=false");
  for (const std::string& head : server.heads()) {
    EXPECT_NE(head.find("\r\nAuthorization: Bearer k-123\r\n"), std::string::npos) << head;
  }
}

// The slots call with metrics=1: /slots and /metrics in one curl run, the
// counters beside the wrapped slots; a passed-through object and a failed
// /metrics stay as the slots call answers them alone.
TEST(SlotsAndMetrics, CountersBesideTheSlotsInOneRun) {
  HttpServer server;
  const std::string slots = R"([{"id":0,"is_processing":true}])";
  const std::string error = R"({"error":{"code":501,"message":"no slots"}})";
  const struct {
    const char* what;
    HttpAnswer slots;
    HttpAnswer metrics;
    std::string rest;  // after the head, or the whole answer for an object
  } cases[] = {
      {"both",
       {200, "application/json", slots},
       {200, "text/plain", kMetrics},
       "\"slots\":" + slots + R"(,"metrics":{"requests_processing":1,"requests_deferred":3}})"},
      {"no /metrics",
       {200, "application/json", slots},
       {501, "application/json", error},
       "\"slots\":" + slots + "}"},
      {"an error object", {501, "application/json", error}, {200, "text/plain", kMetrics}, ""},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string dir = "/m" + std::to_string(n++);
    server.route(dir + "/slots", c.slots);
    server.route(dir + "/metrics", c.metrics);
    const std::string endpoint = server.base() + dir + "/slots";
    const std::string expected =
        c.rest.empty() ? std::string(kJsonHeader) + error + "\n"
                       : std::string(kJsonHeader) +
                             "{\"ok\":true,\"source\":\"query\",\"url\":" + json_string(endpoint) +
                             ",\"updated_epoch\":EPOCH," + c.rest + "\n";
    EXPECT_EQ(mask_epoch(call("action=slots&metrics=1&url=" + server.base() + dir).out), expected)
        << c.what;
    const std::vector<std::string> asked = server.requests();
    ASSERT_GE(asked.size(), 2u);
    EXPECT_EQ(asked[asked.size() - 2], dir + "/slots") << c.what;
    EXPECT_EQ(asked.back(), dir + "/metrics") << c.what;
  }
}

}  // namespace
