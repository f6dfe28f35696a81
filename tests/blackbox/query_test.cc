// How query parameters are found and decoded, seen from outside: an address
// that is not http(s) comes back in the 400 answer exactly as it was decoded.
#include <gtest/gtest.h>

#include "harness.h"

namespace {

using namespace testing_support;

TEST(QueryLookup, DecodedValueComesBackInTheAnswer) {
  const std::string pick =
      error_response("400 Bad Request", "select a session or enter a llama.cpp URL");
  const auto echoed = [](std::string_view value) {
    return error_response("400 Bad Request", "invalid url (must be http:// or https://)", value);
  };
  const struct {
    std::string query;  // after "action=slots&"
    std::string expected;
  } cases[] = {
      {"", pick},
      {"url", pick},
      {"url=", pick},
      {"urlx=1", pick},
      {"URL=a", pick},
      {"u%72l=a", pick},
      {"xurl=1&url=2", echoed("2")},
      {"url=a&url=b", echoed("a")},
      {"&url=a", echoed("a")},
      {"a=1&&url=a", echoed("a")},
      {"url=a=b", echoed("a=b")},
      {"url=a;b=c", echoed("a;b=c")},
      {"url=a+b%20c", echoed("a b c")},
      {"url=%41%62", echoed("Ab")},
      {"url=%2B", echoed("+")},
      {"url=%zz", echoed("%zz")},
      {"url=%4G", echoed("%4G")},
      {"url=%%41", echoed("%A")},
      {"url=%4", echoed("%4")},
      {"url=%", echoed("%")},
      {"url=a%00b", echoed("a")},
      {"url=%00", pick},
      {"url=%2541", echoed("%41")},
      {"url=" + std::string(2000, 'x'), echoed(std::string(511, 'x'))},
  };
  for (const auto& c : cases) {
    const RunResult result = run_slots({{"QUERY_STRING", "action=slots&" + c.query}});
    EXPECT_EQ(result.out, c.expected) << c.query;
  }
  // 500 escapes are 1500 raw bytes: the 1023-byte raw limit keeps 341 of them.
  std::string escapes;
  for (int i = 0; i < 500; ++i) escapes += "%41";
  EXPECT_EQ(run_slots({{"QUERY_STRING", "action=slots&url=" + escapes}}).out,
            echoed(std::string(341, 'A')));
}

}  // namespace
