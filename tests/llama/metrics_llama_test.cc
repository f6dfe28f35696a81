// The metrics call against real llama.cpp servers: a server that fell asleep
// stays asleep however often it is scraped, and a router's loaded model is
// read while the one not loaded stays unloaded.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "harness.h"
#include "llama_server.h"

namespace {

using namespace testing_support;

std::string scrape(const std::string& servers) {
  const char* path = std::getenv("PATH");
  return run_slots({{"PATH", path != nullptr ? path : "/usr/bin:/bin"},
                    {"QUERY_STRING", "action=metrics"},
                    {"QV_LLAMA_SERVERS", servers}})
      .out;
}

bool has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

bool asleep(const LlamaServer& server) {
  return has(http_request(server.port(), "GET", "/props").body, "\"is_sleeping\":true");
}

TEST(RealServerMetrics, ASleepingServerIsNotWoken) {
  LlamaServer server(
      LlamaServer::model_args("tiny.gguf", {"--metrics", "--sleep-idle-seconds", "1"}));
  for (int i = 0; i < 100 && !asleep(server); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_TRUE(asleep(server));
  for (int i = 0; i < 3; ++i) {
    const std::string out = scrape("s=" + server.base());
    EXPECT_TRUE(has(out, "\nslots_up{source=\"s\",kind=\"server\"} 0\n")) << out;
    EXPECT_TRUE(has(out, "\nslots_sleeping{source=\"s\",kind=\"server\",model=\"\"} 1\n")) << out;
    EXPECT_FALSE(has(out, "\nslots_slot_processing{")) << out;
  }
  EXPECT_TRUE(asleep(server));

  // Awake and idle, it is let fall asleep again while being scraped: its
  // /metrics shows no request, so /slots (which would restart the idle
  // timer) is not read.
  http_request(server.port(), "GET", "/slots");
  const std::string awake = scrape("s=" + server.base());
  EXPECT_TRUE(has(awake, "\nslots_up{source=\"s\",kind=\"server\"} 1\n")) << awake;
  EXPECT_TRUE(
      has(awake, "\nslots_slot_processing{source=\"s\",kind=\"server\",model=\"\",slot=\"1\"} 0\n"))
      << awake;
  for (int i = 0; i < 100 && !asleep(server); ++i) {
    scrape("s=" + server.base());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_TRUE(asleep(server));
}

TEST(RealServerMetrics, ARouterLoadedModelReadAndNoOtherLoaded) {
  LlamaServer router({"--router", "a,b"});
  ASSERT_EQ(http_request(router.port(), "POST", "/models/load", "{\"model\":\"a\"}").status, 200);
  for (int i = 0; i < 300; ++i) {
    if (has(http_request(router.port(), "GET", "/models").body, "\"value\":\"loaded\"")) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  const std::string out = scrape("r=" + router.base());
  EXPECT_TRUE(has(out, "\nslots_up{source=\"r\",kind=\"server\"} 1\n")) << out;
  EXPECT_TRUE(has(out, "\nslots_sleeping{source=\"r\",kind=\"server\",model=\"a\"} 0\n")) << out;
  EXPECT_TRUE(
      has(out, "\nslots_slot_processing{source=\"r\",kind=\"server\",model=\"a\",slot=\"1\"} 0\n"))
      << out;
  EXPECT_FALSE(has(out, "model=\"b\"")) << out;
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const std::string models = http_request(router.port(), "GET", "/models").body;
  EXPECT_EQ(models.find("\"value\":\"loaded\""), models.rfind("\"value\":\"loaded\"")) << models;
}

}  // namespace
