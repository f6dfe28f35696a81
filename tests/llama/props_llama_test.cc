// The props call against a real llama.cpp server (tools/llama/build): the
// facts of /props and, with --metrics, the counters of /metrics from one curl
// run; and a sleeping server stays asleep however often it is watched.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "harness.h"
#include "llama_server.h"

namespace {

using namespace testing_support;

RunResult call(const std::string& query) {
  const char* path = std::getenv("PATH");
  return run_slots({{"PATH", path != nullptr ? path : "/usr/bin:/bin"}, {"QUERY_STRING", query}});
}

// A string member of the server's own /props, found by its text (the values
// read here hold no escapes).
std::string member(const std::string& json, const std::string& name) {
  const std::string key = "\"" + name + "\":\"";
  const std::size_t start = json.find(key);
  if (start == std::string::npos) return "(no " + name + ")";
  const std::size_t value = start + key.size();
  return json.substr(value, json.find('"', value) - value);
}

std::string props_answer(const LlamaServer& server, const std::string& rest) {
  const HttpReply direct = http_request(server.port(), "GET", "/props");
  return std::string(kJsonHeader) +
         "{\"ok\":true,\"source\":\"query\",\"url\":" + json_string(server.base() + "/props") +
         ",\"updated_epoch\":EPOCH,\"props\":{" + rest +
         "\"model_alias\":" + json_string(member(direct.body, "model_alias")) +
         ",\"build_info\":" + json_string(member(direct.body, "build_info")) + ",";
}

bool sleeping(const LlamaServer& server) {
  return http_request(server.port(), "GET", "/props").body.find("\"is_sleeping\":true") !=
         std::string::npos;
}

TEST(RealServerProps, FactsAndCountersWithAndWithoutMetrics) {
  LlamaServer with(LlamaServer::model_args("tiny.gguf", {"--metrics"}));
  EXPECT_EQ(mask_epoch(call("action=props&metrics=1&url=" + with.base() + "/v1").out),
            props_answer(with, "\"is_sleeping\":false,\"total_slots\":2,") +
                "\"endpoint_metrics\":true},"
                "\"metrics\":{\"requests_processing\":0,\"requests_deferred\":0}}\n");
  EXPECT_EQ(mask_epoch(call("action=props&url=" + with.base()).out),
            props_answer(with, "\"is_sleeping\":false,\"total_slots\":2,") +
                "\"endpoint_metrics\":true}}\n");

  // Without --metrics the server answers /metrics with an error: no counters.
  LlamaServer without(LlamaServer::model_args("tiny.gguf", {"-np", "3"}));
  EXPECT_EQ(http_request(without.port(), "GET", "/metrics").status, 501);
  EXPECT_EQ(mask_epoch(call("action=props&metrics=1&url=" + without.base()).out),
            props_answer(without, "\"is_sleeping\":false,\"total_slots\":3,") +
                "\"endpoint_metrics\":false}}\n");
}

TEST(RealServerProps, ASleepingServerStaysAsleep) {
  LlamaServer server(
      LlamaServer::model_args("tiny.gguf", {"--metrics", "--sleep-idle-seconds", "1"}));
  for (int i = 0; i < 100 && !sleeping(server); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  ASSERT_TRUE(sleeping(server));
  const std::string query = "action=props&metrics=1&url=" + server.base();
  for (int i = 0; i < 4; ++i) {
    const std::string out = call(query).out;
    EXPECT_NE(out.find("\"props\":{\"is_sleeping\":true,"), std::string::npos) << out;
    EXPECT_NE(out.find("\"metrics\":{\"requests_processing\":0,"), std::string::npos) << out;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  EXPECT_TRUE(sleeping(server));
  // The slots call, by contrast, wakes it: what this test would catch.
  call("action=slots&url=" + server.base());
  EXPECT_FALSE(sleeping(server));
}

}  // namespace
