// The slots call for a server address against a real local HTTP server,
// fetched by the real curl found on PATH.
#include <gtest/gtest.h>

#include <cstdlib>

#include "harness.h"
#include "http_server.h"

namespace {

using namespace testing_support;

constexpr std::string_view kUnable = "unable to fetch /slots from llama.cpp server";

class RealCurl : public ::testing::Test {
 protected:
  void SetUp() override {
    server_.route("/slots", {200, "application/json", fixture("slots-busy.json")});
    server_.route("/v1/slots", {200, "application/json", fixture("slots-idle.json")});
    server_.route("/off/slots", {501, "application/json", fixture("slots-disabled-501.json")});
    server_.route("/locked/slots",
                  {401, "application/json",
                   "{\"error\":{\"message\":\"Invalid API Key\",\"type\":\"authentication_error\","
                   "\"code\":401}}"});
    server_.route("/cut/slots", {200, "application/json", fixture("slots-idle.json"), false, true});
  }

  RunResult call(const std::string& url) {
    const char* path = std::getenv("PATH");
    return run_slots({{"PATH", path != nullptr ? path : "/usr/bin:/bin"},
                      {"QUERY_STRING", "action=slots&url=" + url}});
  }

  std::string wrapped(const std::string& endpoint, const std::string& array) {
    return std::string(kJsonHeader) + "{\"ok\":true,\"source\":\"query\",\"url\":\"" + endpoint +
           "\",\"updated_epoch\":EPOCH,\"slots\":" + array + "}\n";
  }

  HttpServer server_;
};

TEST_F(RealCurl, WrapsTheServersArray) {
  const std::string b = server_.base();
  EXPECT_EQ(mask_epoch(call(b).out), wrapped(b + "/slots", fixture("slots-busy.json")));
  EXPECT_EQ(mask_epoch(call(b + "/v1/").out), wrapped(b + "/slots", fixture("slots-busy.json")));
  EXPECT_EQ(mask_epoch(call(b + "/v1/slots").out),
            wrapped(b + "/v1/slots", fixture("slots-idle.json")));
  EXPECT_EQ(server_.requests().back(), "/v1/slots");
}

TEST_F(RealCurl, PassesErrorObjectsThrough) {
  const std::string b = server_.base();
  EXPECT_EQ(call(b + "/off").out,
            std::string(kJsonHeader) + fixture("slots-disabled-501.json") + "\n");
  EXPECT_EQ(call(b + "/locked/").out,
            std::string(kJsonHeader) +
                "{\"error\":{\"message\":\"Invalid API Key\",\"type\":\"authentication_error\","
                "\"code\":401}}\n");
}

TEST_F(RealCurl, ReportsWhatIsNotSlots) {
  const std::string b = server_.base();
  EXPECT_EQ(call(b + "/nothing").out,
            error_response("502 Bad Gateway", "unexpected non-JSON response from /slots",
                           b + "/nothing/slots"));
}

TEST_F(RealCurl, ReportsAnUnreachableOrBrokenServer) {
  // A port that was free a moment ago: nothing listens there.
  int closed_port = 0;
  { closed_port = HttpServer().port(); }
  const std::string gone = "http://127.0.0.1:" + std::to_string(closed_port);
  EXPECT_EQ(call(gone).out, error_response("502 Bad Gateway", kUnable, gone + "/slots"));

  // The body stops halfway: curl fails, so even the half that came is dropped.
  const std::string cut = server_.base() + "/cut";
  EXPECT_EQ(call(cut).out, error_response("502 Bad Gateway", kUnable, cut + "/slots"));
}

TEST_F(RealCurl, GivesUpOnASilentServer) {
  server_.route("/mute/slots", {200, "application/json", "", true});
  const std::string mute = server_.base() + "/mute";
  EXPECT_EQ(call(mute).out, error_response("502 Bad Gateway", kUnable, mute + "/slots"));
}

TEST(CurlNotExecutable, CannotBeStarted) {
  TempDir dir;
  write_file(dir.path() / "bin" / "curl", "#!/bin/sh\necho '[]'\n");
  fs::permissions(dir.path() / "bin" / "curl", fs::perms::owner_read | fs::perms::owner_write);
  const RunResult result =
      run_slots({{"PATH", dir.str("bin")}, {"QUERY_STRING", "action=slots&url=http://h"}});
  EXPECT_EQ(result.out,
            error_response("502 Bad Gateway", "failed to invoke curl", "http://h/slots"));
}

}  // namespace
