// The program's entry: the metadata line, the routing table and the access
// check, seen from outside.
#include <gtest/gtest.h>

#include "harness.h"

namespace {

using testing_support::Env;
using testing_support::error_response;
using testing_support::run_slots;

const std::string kMeta =
    "{\"name\":\"slots\",\"desc\":\"llama.cpp slots\",\"kind\":\"ui\",\"version\":\"1.0.0\"}\n";
const std::string kNoSessions =
    std::string(testing_support::kJsonHeader) + "{\"ok\":true,\"sessions\":[]}\n";
const std::string kPickOne =
    error_response("400 Bad Request", "select a session or enter a llama.cpp URL");
const std::string kRefusal =
    "Status: 401 Unauthorized\r\nContent-Type: application/json; charset=utf-8\r\n\r\n"
    "{\"ok\":false,\"error\":\"unauthorized\"}\n";

// The page, as a run without any query string answers it.
const std::string& page() {
  static const std::string bytes = run_slots({}).out;
  return bytes;
}

TEST(Entry, PageStartsWithItsHeaderLines) {
  EXPECT_EQ(page().rfind("Content-Type: text/html; charset=utf-8\r\n"
                         "Cache-Control: no-cache, no-store, must-revalidate\r\n\r\n"
                         "<!DOCTYPE html>\n",
                         0),
            0u);
  EXPECT_EQ(page().substr(page().size() - 15), "</body></html>\n");
}

TEST(Entry, MetadataLine) {
  struct Case {
    std::vector<std::string> args;
    Env env;
    bool meta;
  };
  const Case cases[] = {
      {{"--meta"}, {}, true},
      {{"--meta", "extra"}, {}, true},
      {{}, {{"QV_PLUGIN_META", ""}}, true},
      {{}, {{"QV_PLUGIN_META", "0"}}, true},
      {{"--meta"}, {{"BOT_PASSWORD", "secret"}}, true},
      {{}, {{"QV_PLUGIN_META", ""}, {"BOT_PASSWORD", "secret"}}, true},
      {{"--META"}, {}, false},
      {{"--meta2"}, {}, false},
      {{"-meta"}, {}, false},
      {{"x", "--meta"}, {}, false},
  };
  for (const Case& c : cases) {
    const auto result = run_slots(c.env, c.args);
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.out, c.meta ? kMeta : page()) << (c.args.empty() ? "" : c.args[0]);
  }
  EXPECT_EQ(kMeta.size(), 72u);
}

TEST(Entry, RoutingTable) {
  enum Kind { kPage, kSessions, kSlots };
  struct Case {
    const char* query;
    Kind kind;
  };
  const Case cases[] = {
      {"", kPage},
      {"action=sessions", kSessions},
      {"action=sessions&format=json", kSessions},
      {"format=json&action=sessions", kSessions},
      {"action=slots", kSlots},
      {"action=slots&format=html", kSlots},
      {"format=json", kSlots},
      {"action=other&format=json", kSlots},
      {"action=&format=json", kSlots},
      {"action=Sessions", kPage},
      {"action=SLOTS", kPage},
      {"format=JSON", kPage},
      {"action=sessions&action=slots", kSessions},
      {"action=slots&action=sessions", kSlots},
      {"action=se%73sions", kSessions},
      {"action=%73lots", kSlots},
      {"format=%6Ason", kSlots},
      {"action=sessions+", kPage},
      {"action", kPage},
      {"action&format", kPage},
      {"action=other", kPage},
      {"format=xml", kPage},
      {"x=1;action=sessions", kPage},
  };
  for (const Case& c : cases) {
    const auto result = run_slots({{"QUERY_STRING", c.query}});
    const std::string& expected = c.kind == kPage       ? page()
                                  : c.kind == kSessions ? kNoSessions
                                                        : kPickOne;
    EXPECT_EQ(result.out, expected) << c.query;
    EXPECT_EQ(result.exit_code, 0) << c.query;
  }
  // A value cut to its buffer never names a responder.
  EXPECT_EQ(run_slots({{"QUERY_STRING", "format=json" + std::string(40, ' ')}}).out, page());
}

TEST(Access, Routes) {
  struct Case {
    const char* what;
    Env env;
    bool admitted;
  };
  const std::string pw = "s3cret";
  const std::string long_pw(200, 'p');
  const Case cases[] = {
      {"no password set", {{"QUERY_STRING", "action=sessions"}}, true},
      {"empty password", {{"BOT_PASSWORD", ""}, {"QUERY_STRING", "action=sessions"}}, true},
      {"no credential", {{"BOT_PASSWORD", pw}, {"QUERY_STRING", "action=sessions"}}, false},
      {"header", {{"BOT_PASSWORD", pw}, {"HTTP_X_BOT_PASSWORD", pw}}, true},
      {"header wrong case", {{"BOT_PASSWORD", pw}, {"HTTP_X_BOT_PASSWORD", "S3CRET"}}, false},
      {"header trailing space", {{"BOT_PASSWORD", pw}, {"HTTP_X_BOT_PASSWORD", pw + " "}}, false},
      {"header prefix", {{"BOT_PASSWORD", pw}, {"HTTP_X_BOT_PASSWORD", "s3cre"}}, false},
      {"bearer", {{"BOT_PASSWORD", pw}, {"HTTP_AUTHORIZATION", "Bearer " + pw}}, true},
      {"bearer spaces and case",
       {{"BOT_PASSWORD", pw}, {"HTTP_AUTHORIZATION", "   bEaReR    " + pw}},
       true},
      {"bearer tab", {{"BOT_PASSWORD", pw}, {"HTTP_AUTHORIZATION", "Bearer\t" + pw}}, false},
      {"bearer leading tab",
       {{"BOT_PASSWORD", pw}, {"HTTP_AUTHORIZATION", "\tBearer " + pw}},
       false},
      {"bearer trailing space",
       {{"BOT_PASSWORD", pw}, {"HTTP_AUTHORIZATION", "Bearer " + pw + " "}},
       false},
      {"bearer wrong token", {{"BOT_PASSWORD", pw}, {"HTTP_AUTHORIZATION", "Bearer nope"}}, false},
      {"bearer without space", {{"BOT_PASSWORD", pw}, {"HTTP_AUTHORIZATION", "Bearer"}}, false},
      {"basic then query",
       {{"BOT_PASSWORD", pw},
        {"HTTP_AUTHORIZATION", "Basic dXNlcjpwYXNz"},
        {"QUERY_STRING", "pwd=" + pw}},
       true},
      {"query", {{"BOT_PASSWORD", pw}, {"QUERY_STRING", "pwd=" + pw}}, true},
      {"query encoded", {{"BOT_PASSWORD", "a b+c"}, {"QUERY_STRING", "pwd=a+b%2Bc"}}, true},
      {"query wrong", {{"BOT_PASSWORD", pw}, {"QUERY_STRING", "pwd=S3CRET"}}, false},
      {"query long password",
       {{"BOT_PASSWORD", long_pw}, {"QUERY_STRING", "pwd=" + long_pw}},
       false},
      {"header long password", {{"BOT_PASSWORD", long_pw}, {"HTTP_X_BOT_PASSWORD", long_pw}}, true},
      {"referer", {{"BOT_PASSWORD", pw}, {"HTTP_REFERER", "http://h/p?x=1&pwd=" + pw}}, true},
      {"referer without query", {{"BOT_PASSWORD", pw}, {"HTTP_REFERER", "http://h/p"}}, false},
      {"referer wins over wrong query",
       {{"BOT_PASSWORD", pw}, {"QUERY_STRING", "pwd=bad"}, {"HTTP_REFERER", "http://h/?pwd=" + pw}},
       true},
      {"referer wrong", {{"BOT_PASSWORD", pw}, {"HTTP_REFERER", "http://h/?pwd=bad"}}, false},
      {"referer second question mark",
       {{"BOT_PASSWORD", pw}, {"HTTP_REFERER", "http://h/?a=?&pwd=" + pw}},
       true},
  };
  for (const Case& c : cases) {
    Env env = c.env;
    if (env.find("QUERY_STRING") == env.end())
      env["QUERY_STRING"] = "action=sessions";
    else if (env["QUERY_STRING"].find("action=") == std::string::npos)
      env["QUERY_STRING"] += "&action=sessions";
    const auto result = run_slots(env);
    EXPECT_EQ(result.out, c.admitted ? kNoSessions : kRefusal) << c.what;
    EXPECT_EQ(result.exit_code, 0) << c.what;
  }
  EXPECT_EQ(kRefusal.size(), 111u);
}

TEST(Access, GuardsThePage) {
  EXPECT_EQ(run_slots({{"BOT_PASSWORD", "pw"}}).out, kRefusal);
  EXPECT_EQ(run_slots({{"BOT_PASSWORD", "pw"}, {"QUERY_STRING", "pwd=pw"}}).out, page());
}

}  // namespace
