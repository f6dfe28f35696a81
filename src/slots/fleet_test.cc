#include "slots/fleet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

Entries parsed(std::string_view value) {
  Entries out;
  for (const slots::ConfiguredServer& s : slots::parse_servers(value))
    out.emplace_back(s.name, s.url);
  return out;
}

TEST(ParseServers, EntriesSkipsAndRepeats) {
  const std::string name64(64, 'n');
  const struct {
    std::string value;
    Entries expected;
  } cases[] = {
      {"", {}},
      {"a=http://h:1", {{"a", "http://h:1"}}},
      {" \t\r\na=http://h:1\n\nb.c_d-9=https://x/v1?model=m=1 ",
       {{"a", "http://h:1"}, {"b.c_d-9", "https://x/v1?model=m=1"}}},
      {"a=http://one a=http://two", {{"a", "http://one"}}},
      {"=http://h noequals a b/c=http://h é=http://h", {}},
      {"a=ftp://h b=http://h/'x' c= d=http://ok", {{"d", "http://ok"}}},
      {name64 + "=http://h " + name64 + "x=http://h", {{name64, "http://h"}}},
      {"long=http://h/" + std::string(510, 'p') + " ok=http://h", {{"ok", "http://h"}}},
  };
  for (const auto& c : cases) EXPECT_EQ(parsed(c.value), c.expected) << c.value;
}

TEST(ParseServers, KeepsAtMost64) {
  std::string value;
  for (int i = 0; i < 70; ++i) {
    value += 's';
    value += std::to_string(i);
    value += "=http://h ";
  }
  const Entries entries = parsed(value);
  ASSERT_EQ(entries.size(), 64u);
  EXPECT_EQ(entries.back().first, "s63");
}

}  // namespace
