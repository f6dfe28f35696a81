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

}  // namespace
