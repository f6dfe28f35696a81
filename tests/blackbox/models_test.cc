// The models call: a llama.cpp router's model list, reduced to ids and
// states, with a stand-in curl.
#include <gtest/gtest.h>

#include "harness.h"
#include "stand_in_curl.h"

namespace {

using namespace testing_support;

constexpr std::string_view kBadGateway = "502 Bad Gateway";

std::string model_list(const std::string& endpoint, const std::string& models) {
  return std::string(kJsonHeader) +
         "{\"ok\":true,\"source\":\"query\",\"url\":" + json_string(endpoint) +
         ",\"updated_epoch\":EPOCH,\"models\":" + models + "}\n";
}

TEST_F(StandInCurl, ModelsCallAsksTheModelList) {
  const std::string b = "http://srv:8080";
  const struct {
    std::string url;
    std::string endpoint;
  } cases[] = {
      {b, b + "/models"},
      {b + "/", b + "/models"},
      {b + "/v1/", b + "/models"},
      {b + "/slots", b + "/models"},
      {b + "/v1/slots", b + "/models"},
      {b + "/api/v1?x=1#f", b + "/api/models?x=1#f"},
      {b + "?model=a", b + "/models?model=a"},
  };
  const std::string router = fixture("models-router.json");
  for (const auto& c : cases) {
    std::string encoded;
    for (char ch : c.url)
      encoded += ch == '?' ? "%3F" : ch == '&' ? "%26" : ch == '#' ? "%23" : std::string(1, ch);
    const RunResult result = call("action=models&url=" + encoded, router);
    EXPECT_EQ(argv(), "-sk\n--max-time\n4\n" + c.endpoint + "\n") << c.url;
    // Only ids and states leave: no start arguments, no paths.
    EXPECT_EQ(
        mask_epoch(result.out),
        model_list(c.endpoint, R"([{"id":"a","status":"loaded"},{"id":"b","status":"unloaded"}])"))
        << c.url;
    EXPECT_EQ(result.exit_code, 0);
  }
}

TEST_F(StandInCurl, ModelsCallFailures) {
  const std::string endpoint = "http://h/models";
  const struct {
    const char* what;
    std::string query;
    std::string body;
    int exit_code;
    std::string expected;
  } cases[] = {
      {"no address", "action=models&id=web", "", 0,
       error_response("400 Bad Request", "enter a llama.cpp URL")},
      {"bad address", "action=models&url=HTTP://h", "", 0,
       error_response("400 Bad Request", "invalid url (must be http:// or https://)", "HTTP://h")},
      {"curl failed", "action=models&url=http://h", "{\"data\":[]}", 7,
       error_response(kBadGateway, "unable to fetch /models from llama.cpp server", endpoint)},
      {"html", "action=models&url=http://h", "<html>", 0,
       error_response(kBadGateway, "unexpected non-JSON response from /models", endpoint)},
      {"the server's error", "action=models&url=http://h",
       R"({"error":{"code":401,"message":"Invalid API Key","type":"authentication_error"}})", 0,
       error_response(kBadGateway, "Invalid API Key", endpoint)},
      {"no list", "action=models&url=http://h", "[{\"id\":\"a\"}]", 0,
       error_response(kBadGateway, "no model list in the response from /models", endpoint)},
      {"a server that is no router", "action=models&url=http://h",
       R"({"object":"list","data":[{"id":"m.gguf","object":"model"}]})", 0,
       model_list(endpoint, R"([{"id":"m.gguf"}])")},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(mask_epoch(call(c.query, c.body, c.exit_code).out), c.expected) << c.what;
  }
}

}  // namespace
