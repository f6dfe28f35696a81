#include "slots/api_keys.h"

#include <gtest/gtest.h>

namespace {

TEST(ApiKeys, MatchesTheOriginCurlConnectsTo) {
  const struct {
    const char* keys;
    const char* endpoint;
    std::string key;
  } cases[] = {
      {"http://h=K", "http://h/slots", "K"},
      {"http://h=K", "http://h:80/slots", "K"},
      {"http://h:80=K", "http://h/slots", "K"},
      {"https://h=K", "https://h:443/slots", "K"},
      {"HTTP://LocalHost:8080=K", "http://localhost:8080/slots?model=a", "K"},
      {"http://h:8080=K", "http://h:08080/slots", "K"},
      {"http://h:=K", "http://h/slots", "K"},
      {"http://h=K", "http://user:pw@h/slots", "K"},
      // Not the same origin.
      {"http://h=K", "https://h/slots", ""},
      {"http://h=K", "http://h:8080/slots", ""},
      {"http://h=K", "http://h.example/slots", ""},
      {"http://h=K", "http://h@evil/slots", ""},
      {"http://h:8080=K", "http://h:8080:9090/slots", ""},
      {"http://evil=K", "http://evil@h/slots", ""},
      // First match wins; the key keeps every "=" after the first.
      {"http://a=1 http://h=2 http://h=3", "http://h/slots", "2"},
      {"http://h=a=b==", "http://h/slots", "a=b=="},
      // Separators: space, tab, line feed, carriage return.
      {"\t\r\nhttp://x=1\r\nhttp://h=2\r\n", "http://h/slots", "2"},
      // Entries that do not parse are skipped, not taken half.
      {"http://h/=bad http://h=good", "http://h/slots", "good"},
      {"http://h?x=bad http://h#=bad ftp://h=bad h=bad http://=bad http://h=", "http://h/slots",
       ""},
      {"http://h:0=bad http://h:65536=bad http://h:8o=bad http://u@h=bad", "http://h:0/slots", ""},
      {"http://h\x01=bad http://h=\x7f", "http://h/slots", ""},
      {"garbage === http://h", "http://h/slots", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(slots::api_key_for(c.keys, c.endpoint), c.key) << c.keys << " for " << c.endpoint;
  }
}

TEST(ApiKeys, SkipsKeysThatWouldNotFitTheirHeaderLine) {
  const std::string longest(slots::kMaxApiKey, 'k');
  EXPECT_EQ(slots::api_key_for("http://h=" + longest, "http://h/slots"), longest);
  EXPECT_EQ(slots::api_key_for("http://h=" + longest + "k http://h=short", "http://h/slots"),
            "short");
}

}  // namespace
