#include "slots/server_url.h"

#include <gtest/gtest.h>

namespace {

TEST(SafeId, AcceptsOnlyTheAllowedSet) {
  const struct {
    std::string id;
    bool safe;
  } cases[] = {
      {"", false},
      {"web", true},
      {"a.b:c-d_e", true},
      {".", true},
      {".hidden", true},
      {"a..b", false},
      {"..", false},
      {"a/b", false},
      {"a\\b", false},
      {"a b", false},
      {"caf\xc3\xa9", false},
      {"a%2e", false},
      {std::string(160, 'x'), true},
      {std::string(161, 'x'), false},
      {std::string(159, 'x') + "..", false},
  };
  for (const auto& c : cases) EXPECT_EQ(slots::safe_id(c.id), c.safe) << c.id;
}

TEST(ServerUrl, ValidatesSchemeAndCharacters) {
  const struct {
    const char* url;
    bool valid;
  } cases[] = {
      {"http://h:8080/", true},
      {"https://h/v1", true},
      {"http://u@h/a-b_c~d%20?q=1&r=2#f,g+h", true},
      {"HTTP://h", false},
      {"Https://h", false},
      {"ftp://h", false},
      {"http:/h", false},
      {"http://h/a b", false},
      {"http://h/\"", false},
      {"http://h/'", false},
      {"http://h/$(id)", false},
      {"http://h/`id`", false},
      {"http://h/;id", false},
      {"http://h/|id", false},
      {"http://h/\\", false},
      {"http://h/<>", false},
      {"http://h/!", false},
      {"http://h/^", false},
      {"http://h/*", false},
      {"http://h/[]", false},
      {"http://h/{}", false},
      {"http://h/\x7f", false},
      {"http://h/\xc3\xa9", false},
      {"http://h/%PATH%", true},
  };
  for (const auto& c : cases) EXPECT_EQ(slots::valid_server_url(c.url), c.valid) << c.url;
}

TEST(SlotsEndpoint, NormalisesTheAddress) {
  const std::string b = "http://srv:80";
  const struct {
    std::string url;
    std::string normalised;
  } cases[] = {
      {b, b + "/slots"},
      {b + "/", b + "/slots"},
      {b + "///", b + "/slots"},
      {b + "/v1", b + "/slots"},
      {b + "/v1/", b + "/slots"},
      {b + "/slots", b + "/slots"},
      {b + "/slots/", b + "/slots"},
      {b + "/v1/slots", b + "/v1/slots"},
      {b + "/api/v1", b + "/api/slots"},
      {b + "//v1", b + "//slots"},
      {b + "/V1", b + "/V1/slots"},
      {b + "/Slots", b + "/Slots/slots"},
      {"http://", "http:/slots"},
      {"https://h/v1/v1", "https://h/v1/slots"},
      // A query or fragment stays after the completed path.
      {b + "/slots?x=1", b + "/slots?x=1"},
      {b + "?x=1", b + "/slots?x=1"},
      {b + "/v1/?x=1", b + "/slots?x=1"},
      {b + "#f", b + "/slots#f"},
      {b + "/?#", b + "/slots?#"},
      {b + "?x=/slots", b + "/slots?x=/slots"},
      // A router's model is asked for without loading it, unless the
      // address says otherwise.
      {b + "?model=a", b + "/slots?model=a&autoload=false"},
      {b + "/slots?model=a/b#f", b + "/slots?model=a/b&autoload=false#f"},
      {b + "?x=1&model=", b + "/slots?x=1&model=&autoload=false"},
      {b + "?model=a&autoload=true", b + "/slots?model=a&autoload=true"},
      {b + "?autoload&model=a", b + "/slots?autoload&model=a"},
      {b + "?models=a&xmodel=b", b + "/slots?models=a&xmodel=b"},
      {b + "#?model=a", b + "/slots#?model=a"},
  };
  for (const auto& c : cases) EXPECT_EQ(slots::slots_endpoint(c.url), c.normalised) << c.url;
}

TEST(PropsEndpoint, ReplacesTheLastPathPieceAndNeverLoadsAModel) {
  const std::string b = "http://srv:80";
  const struct {
    std::string url;
    std::string props;
  } cases[] = {
      {b, b + "/props"},
      {b + "//", b + "/props"},
      {b + "/v1/", b + "/props"},
      {b + "/slots/", b + "/props"},
      {b + "/v1/slots", b + "/props"},
      {b + "/slots/v1", b + "/slots/props"},
      {b + "/api/v1?x=1#f", b + "/api/props?x=1#f"},
      {b + "?model=a", b + "/props?model=a&autoload=false"},
      {b + "/slots?model=a#f", b + "/props?model=a&autoload=false#f"},
      {b + "?model=a&autoload=true", b + "/props?model=a&autoload=true"},
      {b + "#?model=a", b + "/props#?model=a"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(slots::props_endpoint(c.url), c.props) << c.url;
    // /metrics sits beside /props, under the same rule.
    std::string metrics = c.props;
    metrics.replace(metrics.find("/props"), 6, "/metrics");
    EXPECT_EQ(slots::metrics_endpoint(c.url), metrics) << c.url;
  }
}

}  // namespace
