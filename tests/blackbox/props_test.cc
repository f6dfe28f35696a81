// The props call with a stand-in curl: what reaches curl, which fields of
// /props reach the answer, and every failure. (The two-URL run with /metrics
// against a real HTTP server is in props_http_test.cc.)
#include <gtest/gtest.h>

#include <regex>

#include "harness.h"
#include "stand_in_curl.h"

namespace {

using namespace testing_support;

constexpr std::string_view kBadGateway = "502 Bad Gateway";
constexpr std::string_view kUnable = "unable to fetch /props from llama.cpp server";

std::string props_answer(const std::string& endpoint, const std::string& props) {
  return std::string(kJsonHeader) +
         "{\"ok\":true,\"source\":\"query\",\"url\":" + json_string(endpoint) +
         ",\"updated_epoch\":EPOCH,\"props\":" + props + "}\n";
}

TEST_F(StandInCurl, PropsCallAsksPropsWithoutLoadingAModel) {
  const std::string b = "http://srv:8080";
  const struct {
    std::string url;  // as the query carries it
    std::string endpoint;
  } cases[] = {
      {b, b + "/props"},
      {b + "/api/v1%3Fx%3D1%23f", b + "/api/props?x=1#f"},
      {b + "%3Fmodel%3Da", b + "/props?model=a&autoload=false"},
  };
  const std::string body = fixture("props.json");
  for (const auto& c : cases) {
    const RunResult result = call("action=props&url=" + c.url, body);
    EXPECT_EQ(argv(), "-sk\n--max-time\n4\n" + c.endpoint + "\n") << c.url;
    EXPECT_EQ(
        mask_epoch(result.out),
        props_answer(c.endpoint,
                     R"({"is_sleeping":false,"total_slots":2,"model_alias":"/models/tiny.gguf",)"
                     R"("build_info":"b1-de3ff81","endpoint_metrics":true})"))
        << c.url;
    EXPECT_EQ(result.exit_code, 0);
  }
  // metrics=1 alone asks for /metrics: any other value is the plain call.
  for (const char* other : {"metrics=0", "metrics=", "metrics=yes", "metric=1"}) {
    call(std::string("action=props&url=http://h&") + other, body);
    EXPECT_EQ(argv(), "-sk\n--max-time\n4\nhttp://h/props\n") << other;
  }
}

TEST_F(StandInCurl, PropsCallKeepsOnlyItsFieldsWithTheirTypes) {
  const struct {
    const char* what;
    std::string body;
    std::string props;
  } cases[] = {
      {"a router's own", R"({"role":"router","build_info":"b1","max_instances":4})",
       R"({"build_info":"b1","role":"router"})"},
      {"the order of the answer, not of the server",
       R"({"role":"r","endpoint_metrics":false,"build_info":"b","model_alias":"m",)"
       R"("total_slots":1,"is_sleeping":true})",
       R"({"is_sleeping":true,"total_slots":1,"model_alias":"m","build_info":"b",)"
       R"("endpoint_metrics":false,"role":"r"})"},
      {"other types",
       R"({"is_sleeping":"no","total_slots":"2","model_alias":5,)"
       R"("build_info":null,"endpoint_metrics":1,"role":{"role":"router"}})",
       "{}"},
      {"nested members", R"({"default_generation_settings":{"total_slots":9,"role":"x"}})", "{}"},
      {"the first of a repeated name", R"({"total_slots":1,"total_slots":2,"role":[],"role":"r"})",
       R"({"total_slots":1})"},
      {"a number as written", R"({"total_slots":-2.50E+1})", R"({"total_slots":-2.50E+1})"},
      {"escapes decoded and written again", R"({"model_alias":"a\"b\u00e9\/c\u2028"})",
       "{\"model_alias\":\"a\\\"b\xc3\xa9/c\xe2\x80\xa8\"}"},
      {"control characters", R"({"model_alias":"a\nb","build_info":"x\u0001"})", "{}"},
      {"a string too long to keep whole",
       "{\"model_alias\":\"" + std::string(1025, 'm') + "\",\"build_info\":\"" +
           std::string(1024, 'b') + "\"}",
       "{\"build_info\":\"" + std::string(1024, 'b') + "\"}"},
      {"an array", "[{\"total_slots\":2}]", "{}"},
      {"no fields: an address that is no llama.cpp server", "{\"status\":\"ok\"}", "{}"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(mask_epoch(call("action=props&url=http://h", c.body).out),
              props_answer("http://h/props", c.props))
        << c.what;
  }
}

TEST_F(StandInCurl, PropsCallFailures) {
  const std::string endpoint = "http://h/props";
  const struct {
    const char* what;
    std::string query;
    std::string body;
    int exit_code;
    std::string expected;
  } cases[] = {
      {"no address", "action=props&id=web", "", 0,
       error_response("400 Bad Request", "enter a llama.cpp URL")},
      {"bad address", "action=props&url=http://h/%22", "", 0,
       error_response("400 Bad Request", "invalid url (must be http:// or https://)",
                      "http://h/\"")},
      {"curl failed", "action=props&url=http://h", "{\"total_slots\":2}", 28,
       error_response(kBadGateway, kUnable, endpoint)},
      {"nothing", "action=props&url=http://h", "\n", 0,
       error_response(kBadGateway, kUnable, endpoint)},
      {"html", "action=props&url=http://h", "<html>", 0,
       error_response(kBadGateway, "unexpected non-JSON response from /props", endpoint)},
      {"cut JSON", "action=props&url=http://h", "{\"total_slots\":2", 0,
       error_response(kBadGateway, "unexpected non-JSON response from /props", endpoint)},
      {"JSON and more", "action=props&url=http://h", "{} {}", 0,
       error_response(kBadGateway, "unexpected non-JSON response from /props", endpoint)},
      {"the server's error", "action=props&url=http://h",
       R"({"error":{"code":401,"message":"Invalid API Key","type":"authentication_error"}})", 0,
       error_response(kBadGateway, "Invalid API Key", endpoint)},
  };
  for (const auto& c : cases) {
    const RunResult result = call(c.query, c.body, c.exit_code);
    EXPECT_EQ(mask_epoch(result.out), c.expected) << c.what;
    EXPECT_EQ(result.exit_code, 0) << c.what;
  }
}

TEST_F(StandInCurl, PropsWithMetricsAsksBothInOneRun) {
  const std::regex format(R"(\\n[0-9a-f]{32} %\{size_download\} %\{http_code\} %\{exitcode\}\\n)");
  const std::string options = "-sk\n--max-time\n4\n";
  const std::string targets =
      "http://h:1/props?model=a&autoload=false\n"
      "http://h:1/metrics?model=a&autoload=false\n";
  std::string boundaries;
  for (const std::string& keys : {std::string(), std::string("http://h:1=k-9")}) {
    // The stand-in writes no boundary line, so no transfer counts as done.
    const RunResult result = call("action=props&metrics=1&url=http://h:1/v1%3Fmodel%3Da",
                                  "{\"total_slots\":2}", 0, {{"QV_LLAMA_API_KEYS", keys}});
    EXPECT_EQ(result.out,
              error_response(kBadGateway, kUnable, "http://h:1/props?model=a&autoload=false"));
    const std::string args = argv();
    const std::string key_options = keys.empty() ? "" : "-H\n@-\n";
    ASSERT_EQ(args.substr(0, options.size() + key_options.size() + 3),
              options + key_options + "-w\n")
        << args;
    const std::size_t w = options.size() + key_options.size() + 3;
    const std::size_t end = args.find('\n', w);
    EXPECT_TRUE(std::regex_match(args.substr(w, end - w), format)) << args;
    EXPECT_EQ(args.substr(end + 1), targets);
    EXPECT_EQ(input(), keys.empty() ? "" : "Authorization: Bearer k-9\n");
    boundaries += args.substr(w, end - w);
  }
  // Each run draws its own boundary.
  EXPECT_NE(boundaries.substr(0, boundaries.size() / 2), boundaries.substr(boundaries.size() / 2));
}

TEST(PropsCurlMissing, CannotBeStarted) {
  TempDir dir;
  fs::create_directories(dir.path() / "empty");
  for (const char* query :
       {"action=props&url=http://h/v1", "action=props&metrics=1&url=http://h"}) {
    EXPECT_EQ(run_slots({{"PATH", dir.str("empty")}, {"QUERY_STRING", query}}).out,
              error_response(kBadGateway, "failed to invoke curl", "http://h/props"))
        << query;
  }
}

}  // namespace
