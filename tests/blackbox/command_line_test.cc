// How curl is started, seen from outside: the address reaches it literally,
// with nothing expanded, and only the search path finds it.
#include <gtest/gtest.h>

#include <string>

#include "harness.h"

namespace {

using namespace testing_support;

// A slots call for an address, with the stand-in as curl, alone on PATH.
class CurlCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    install_stand_in(dir_.path() / "bin", "curl");
    write_file(dir_.path() / "body", "[]");
  }

  RunResult call(const std::string& query, Env extra = {}) {
    Env env = {{"PATH", dir_.str("bin")},
               {"QUERY_STRING", query},
               {"STAND_IN_STDOUT", dir_.str("body")},
               {"STAND_IN_ARGV", dir_.str("argv")}};
    for (const auto& [name, value] : extra) env[name] = value;
    fs::remove(dir_.path() / "argv");
    return run_slots(env);
  }

  std::string argv() const { return read_file(dir_.path() / "argv"); }

  TempDir dir_;
};

TEST_F(CurlCommand, AddressReachesCurlLiterally) {
  // A password is set, so %BOT_PASSWORD% has something to expand to.
  const Env guarded = {{"BOT_PASSWORD", "hunter2"}, {"HTTP_X_BOT_PASSWORD", "hunter2"}};
  const struct {
    std::string query_value;  // percent-encoded as a browser sends it
    std::string url;          // what curl must receive
  } cases[] = {
      {"http://evil.example/%25BOT_PASSWORD%25", "http://evil.example/%BOT_PASSWORD%/slots"},
      {"http://evil.example/%25PATH%25/v1", "http://evil.example/%PATH%/slots"},
      {"http://evil.example/?k=%25BOT_PASSWORD%25%26x=%25PATH%25",
       "http://evil.example/slots?k=%BOT_PASSWORD%&x=%PATH%"},
      {"https://h:8443/%25%25BOT_PASSWORD%25%25/slots", "https://h:8443/%%BOT_PASSWORD%%/slots"},
      {"http://h/a%26calc.exe%26", "http://h/a&calc.exe&/slots"},
      {"http://h/%2520", "http://h/%20/slots"},
  };
  for (const auto& c : cases) {
    const RunResult result = call("action=slots&url=" + c.query_value, guarded);
    EXPECT_EQ(argv(), "-sk\n--max-time\n4\n" + c.url + "\n") << c.query_value;
    EXPECT_EQ(argv().find("hunter2"), std::string::npos) << c.query_value;
    EXPECT_EQ(mask_epoch(result.out),
              std::string(kJsonHeader) + "{\"ok\":true,\"source\":\"query\",\"url\":" +
                  json_string(c.url) + ",\"updated_epoch\":EPOCH,\"slots\":[]}\n")
        << c.query_value;
    EXPECT_EQ(result.exit_code, 0);
  }
}

TEST_F(CurlCommand, OnlyThePathFindsCurl) {
  // A copy of the program with a curl beside it: that curl is never used.
  const fs::path app = dir_.path() / "app";
  fs::create_directories(app);
  const fs::path program = app / fs::path(slots_path()).filename();
  fs::copy_file(slots_path(), program);
  install_stand_in(app, "curl");
  fs::create_directories(dir_.path() / "empty");

  const std::string query = "action=slots&url=http://h";
  const RunResult beside = run_program(program.string(), {{"PATH", dir_.str("empty")},
                                                          {"QUERY_STRING", query},
                                                          {"STAND_IN_STDOUT", dir_.str("body")},
                                                          {"STAND_IN_ARGV", dir_.str("argv")}});
  EXPECT_EQ(beside.out,
            error_response("502 Bad Gateway", "failed to invoke curl", "http://h/slots"));
  EXPECT_FALSE(fs::exists(dir_.path() / "argv"));

  const RunResult on_path = run_program(program.string(), {{"PATH", dir_.str("bin")},
                                                           {"QUERY_STRING", query},
                                                           {"STAND_IN_STDOUT", dir_.str("body")},
                                                           {"STAND_IN_ARGV", dir_.str("argv")}});
  EXPECT_EQ(mask_epoch(on_path.out),
            std::string(kJsonHeader) +
                "{\"ok\":true,\"source\":\"query\",\"url\":\"http://h/slots\","
                "\"updated_epoch\":EPOCH,\"slots\":[]}\n");
  EXPECT_EQ(argv(), "-sk\n--max-time\n4\nhttp://h/slots\n");
}

}  // namespace
