// The router call against a real local HTTP server, fetched by the real curl
// found on PATH: a router's /models and its named models' /slots in one
// curl run, each model's answer in its group.
#include <gtest/gtest.h>

#include <cstdlib>

#include "harness.h"
#include "http_server.h"

namespace {

using namespace testing_support;

const std::string kModels =
    R"({"data":[{"id":"a","status":{"value":"loaded","args":["--secret"]}},)"
    R"({"id":"b c","status":{"value":"loaded"}},{"id":"d","status":{"value":"sleeping"}}]})";
const std::string kList = R"([{"id":"a","status":"loaded"},{"id":"b c","status":"loaded"},)"
                          R"({"id":"d","status":"sleeping"}])";
const std::string kSlots = R"([{"id":0,"n_ctx":4096,"is_processing":false}])";

RunResult call(const std::string& query) {
  const char* path = std::getenv("PATH");
  return run_slots({{"PATH", path != nullptr ? path : "/usr/bin:/bin"}, {"QUERY_STRING", query}});
}

TEST(RouterCall, ModelsAndTheNamedModelsSlotsInOneRun) {
  // The same /slots answer for both named models, as each group writes it.
  const struct {
    const char* what;
    HttpAnswer slots;
    std::string group;  // with ID and URL standing for the model's
  } cases[] = {
      {"slots", {200, "application/json", kSlots}, R"({"id":ID,"url":URL,"slots":)" + kSlots + "}"},
      {"an error object",
       {400, "application/json", R"({"error":{"code":400,"message":"model is not loaded"}})"},
       R"({"id":ID,"url":URL,"error":"model is not loaded"})"},
      {"not JSON",
       {200, "text/html", "<html>no</html>"},
       R"({"id":ID,"url":URL,"error":"unexpected non-JSON response from /slots"})"},
      // A damaged array would make the whole answer no JSON: it is an error.
      {"a damaged array",
       {200, "application/json", R"([{"id":0,])"},
       R"({"id":ID,"url":URL,"error":"unexpected non-JSON response from /slots"})"},
      {"cut off",
       {200, "application/json", kSlots, false, true},
       R"({"id":ID,"url":URL,"error":"unable to fetch /slots from llama.cpp server"})"},
  };
  for (const auto& c : cases) {
    HttpServer server;
    server.route("/r/models", {200, "application/json", kModels});
    server.route("/r/slots", c.slots);
    const std::string b = server.base() + "/r";
    auto group = [&](const std::string& id, const std::string& model) {
      std::string g = c.group;
      g.replace(g.find("ID"), 2, json_string(id));
      g.replace(g.find("URL"), 3, json_string(b + "/slots?model=" + model + "&autoload=false"));
      return g;
    };
    // Ids come percent-encoded (so "%2520" is " "), each ended by a comma:
    // the last has none (a list cut short loses it); one holding anything
    // else ("&") is skipped.
    EXPECT_EQ(mask_epoch(call("action=router&url=" + b + "&models=a%2Cb%2520c%2C%2Cx%26y%2Cd").out),
              std::string(kJsonHeader) + R"({"ok":true,"source":"query","url":)" +
                  json_string(b + "/models") + R"(,"updated_epoch":EPOCH,"models":)" + kList +
                  ",\"groups\":[" + group("a", "a") + "," + group("b c", "b%20c") + "]}\n")
        << c.what;
    EXPECT_EQ(server.requests(),
              (std::vector<std::string>{"/r/models", "/r/slots?model=a&autoload=false",
                                        "/r/slots?model=b%20c&autoload=false"}))
        << c.what;
  }
}

TEST(RouterCall, QuietModelsCountersAfterTheSlots) {
  const struct {
    const char* what;
    HttpAnswer metrics;
    std::string group;  // after the id and the url
  } cases[] = {
      {"counters",
       {200, "text/plain", "# c\nllamacpp:requests_processing 1\nllamacpp:requests_deferred 0\n"},
       R"("metrics":{"requests_processing":1,"requests_deferred":0})"},
      {"no counters", {200, "text/plain", "other 1\n"}, R"("metrics":{})"},
      {"no --metrics",
       {501, "application/json", R"({"error":{"code":501,"message":"Start it with `--metrics`"}})"},
       R"("error":"Start it with `--metrics`")"},
  };
  for (const auto& c : cases) {
    HttpServer server;
    server.route("/r/models", {200, "application/json", kModels});
    server.route("/r/slots", {200, "application/json", kSlots});
    server.route("/r/metrics", c.metrics);
    const std::string b = server.base() + "/r";
    const std::string out =
        mask_epoch(call("action=router&url=" + b + "&models=a%2C&quiet=b%2520c%2C").out);
    EXPECT_NE(
        out.find(",\"groups\":[{\"id\":\"a\",\"url\":" +
                 json_string(b + "/slots?model=a&autoload=false") + ",\"slots\":" + kSlots +
                 "},{\"id\":\"b c\",\"url\":" +
                 json_string(b + "/metrics?model=b%20c&autoload=false") + "," + c.group + "}]}\n"),
        std::string::npos)
        << c.what << ": " << out;
    EXPECT_EQ(server.requests().back(), "/r/metrics?model=b%20c&autoload=false") << c.what;
  }
}

TEST(RouterCall, NoModelListIsTheModelsCallsError) {
  HttpServer server;
  server.route("/models", {500, "application/json", R"({"error":{"message":"boom"}})"});
  server.route("/slots", {200, "application/json", kSlots});
  const std::string b = server.base();
  EXPECT_EQ(call("action=router&url=" + b + "&models=a,").out,
            error_response("502 Bad Gateway", "boom", b + "/models"));
  HttpServer none;
  EXPECT_EQ(call("action=router&url=" + none.base()).out,
            error_response("502 Bad Gateway", "unexpected non-JSON response from /models",
                           none.base() + "/models"));
  EXPECT_EQ(call("action=router").out, error_response("400 Bad Request", "enter a llama.cpp URL"));
}

}  // namespace
