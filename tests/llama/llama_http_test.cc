// The program against a real llama.cpp server (tools/llama/build): fresh
// slots, the disabled endpoint, a server behind an API key, and a router with
// two models of which one is loaded. Each answer is compared whole with what
// the server itself answers the same request.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "harness.h"
#include "http_server.h"
#include "llama_server.h"

namespace {

using namespace testing_support;

RunResult call(const std::string& query, Env extra = {}) {
  const char* path = std::getenv("PATH");
  Env env = {{"PATH", path != nullptr ? path : "/usr/bin:/bin"}, {"QUERY_STRING", query}};
  env.insert(extra.begin(), extra.end());
  return run_slots(env);
}

std::string wrapped(const std::string& endpoint, const std::string& array) {
  return std::string(kJsonHeader) +
         "{\"ok\":true,\"source\":\"query\",\"url\":" + json_string(endpoint) +
         ",\"updated_epoch\":EPOCH,\"slots\":" + array + "}\n";
}

std::string passed_through(const std::string& object) {
  return std::string(kJsonHeader) + object + "\n";
}

TEST(RealServer, FreshSlotsAndTheDisabledEndpoint) {
  LlamaServer server(LlamaServer::model_args("tiny.gguf"));
  const HttpReply direct = http_request(server.port(), "GET", "/slots");
  ASSERT_EQ(direct.status, 200);
  EXPECT_EQ(mask_epoch(call("action=slots&url=" + server.base()).out),
            wrapped(server.base() + "/slots", direct.body));
  EXPECT_EQ(mask_epoch(call("format=json&url=" + server.base() + "/v1/").out),
            wrapped(server.base() + "/slots", direct.body));

  LlamaServer off(LlamaServer::model_args("tiny.gguf", {"--no-slots"}));
  const HttpReply refusal = http_request(off.port(), "GET", "/slots");
  EXPECT_EQ(refusal.status, 501);
  EXPECT_NE(refusal.body.find("This server does not support slots endpoint"), std::string::npos);
  EXPECT_EQ(call("action=slots&url=" + off.base()).out, passed_through(refusal.body));
}

TEST(RealServer, BehindAnApiKey) {
  LlamaServer server(LlamaServer::model_args("tiny.gguf", {"--api-key", "k-123"}));
  const std::string origin = server.base();
  const HttpReply refusal = http_request(server.port(), "GET", "/slots");
  ASSERT_EQ(refusal.status, 401);
  const HttpReply slots =
      http_request(server.port(), "GET", "/slots", "", {"Authorization: Bearer k-123"});
  ASSERT_EQ(slots.status, 200);

  const std::string query = "action=slots&url=" + origin;
  EXPECT_EQ(call(query).out, passed_through(refusal.body));
  EXPECT_EQ(call(query, {{"QV_LLAMA_API_KEYS", ""}}).out, passed_through(refusal.body));
  EXPECT_EQ(mask_epoch(call(query, {{"QV_LLAMA_API_KEYS", origin + "=k-123"}}).out),
            wrapped(origin + "/slots", slots.body));
  EXPECT_EQ(call(query, {{"QV_LLAMA_API_KEYS", origin + "=wrong"}}).out,
            passed_through(refusal.body));

  // The key goes to its own origin only: another server is asked without it,
  // or with its own key.
  HttpServer other;
  other.route("/slots", {200, "application/json", "[]"});
  const std::string keys = origin + "=k-123 " + other.base() + "=other-key";
  EXPECT_EQ(
      mask_epoch(
          call("action=slots&url=" + other.base(), {{"QV_LLAMA_API_KEYS", origin + "=k-123"}}).out),
      wrapped(other.base() + "/slots", "[]"));
  EXPECT_EQ(other.heads().back().find("Authorization"), std::string::npos) << other.heads().back();
  call("action=slots&url=" + other.base(), {{"QV_LLAMA_API_KEYS", keys}});
  EXPECT_NE(other.heads().back().find("\r\nAuthorization: Bearer other-key\r\n"), std::string::npos)
      << other.heads().back();
  EXPECT_EQ(other.heads().back().find("k-123"), std::string::npos);
  EXPECT_EQ(mask_epoch(call(query, {{"QV_LLAMA_API_KEYS", keys}}).out),
            wrapped(origin + "/slots", slots.body));
  EXPECT_EQ(other.heads().size(), 2u);
}

TEST(RealServer, RouterWithTwoModels) {
  LlamaServer router({"--router", "a,b"});
  const std::string b = router.base();
  ASSERT_EQ(http_request(router.port(), "POST", "/models/load", "{\"model\":\"a\"}").status, 200);
  for (int i = 0; i < 300; ++i) {
    if (http_request(router.port(), "GET", "/models").body.find("\"value\":\"loaded\"") !=
        std::string::npos) {
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }

  const std::string one_loaded =
      std::string(kJsonHeader) +
      "{\"ok\":true,\"source\":\"query\",\"url\":" + json_string(b + "/models") +
      ",\"updated_epoch\":EPOCH,\"models\":[{\"id\":\"a\",\"status\":\"loaded\"},"
      "{\"id\":\"b\",\"status\":\"unloaded\"}]}\n";
  EXPECT_EQ(mask_epoch(call("action=models&url=" + b).out), one_loaded);

  const HttpReply slots_a = http_request(router.port(), "GET", "/slots?model=a&autoload=false");
  ASSERT_EQ(slots_a.status, 200);
  const std::string endpoint_a = b + "/slots?model=a&autoload=false";
  EXPECT_EQ(mask_epoch(call("action=slots&url=" + b + "/slots%3Fmodel%3Da").out),
            wrapped(endpoint_a, slots_a.body));
  EXPECT_EQ(mask_epoch(call("action=slots&url=" + b + "%3Fmodel%3Da").out),
            wrapped(endpoint_a, slots_a.body));

  // Without a model the router says so; asked for the model that is not
  // loaded, it says that, however often: polling never loads it.
  EXPECT_EQ(call("action=slots&url=" + b).out,
            passed_through(http_request(router.port(), "GET", "/slots").body));
  const std::string not_loaded =
      http_request(router.port(), "GET", "/slots?model=b&autoload=false").body;
  EXPECT_NE(not_loaded.find("model is not loaded"), std::string::npos);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(call("action=slots&url=" + b + "%3Fmodel%3Db").out, passed_through(not_loaded));
    EXPECT_EQ(call("action=slots&url=" + b + "/v1/%3Fmodel%3Db").out, passed_through(not_loaded));
  }
  std::this_thread::sleep_for(std::chrono::seconds(1));
  EXPECT_EQ(mask_epoch(call("action=models&url=" + b).out), one_loaded);
}

}  // namespace
