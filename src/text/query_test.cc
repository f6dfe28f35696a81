#include "text/query.h"

#include <gtest/gtest.h>

namespace {

struct QueryCase {
  const char* query;
  bool found;
  std::string value;
  std::size_t capacity = 128;
};

TEST(GetQueryVal, LooksUpAndDecodesPwd) {
  const QueryCase cases[] = {
      {"", false, ""},
      {"pwd", false, ""},
      {"pwd=", true, ""},
      {"pwdx=1", false, ""},
      {"PWD=a", false, ""},
      {"p%77d=a", false, ""},
      {"xpwd=1&pwd=2", true, "2"},
      {"pwd=a&pwd=b", true, "a"},
      {"&pwd=a", true, "a"},
      {"a=1&&pwd=a", true, "a"},
      {"pwd=a=b", true, "a=b"},
      {"pwd=a;b=c", true, "a;b=c"},
      {"pwd=a+b%20c", true, "a b c"},
      {"pwd=%41%62", true, "Ab"},
      {"pwd=%2B", true, "+"},
      {"pwd=%zz", true, "%zz"},
      {"pwd=%4G", true, "%4G"},
      {"pwd=%%41", true, "%A"},
      {"pwd=%4", true, "%4"},
      {"pwd=%", true, "%"},
      {"pwd=a%00b", true, "a"},
      {"pwd=%2541", true, "%41"},
      {"pwd=%e2%82%ac", true, "\xe2\x82\xac"},
      {"pwd=abcdef", true, "abc", 4},
      {"pwd=%41%42%43%44", true, "ABC", 4},
      {"pwd=abc", true, "", 1},
  };
  for (const QueryCase& c : cases) {
    std::string out = "left over";
    EXPECT_EQ(text::get_query_val(c.query, "pwd", c.capacity, &out), c.found) << c.query;
    EXPECT_EQ(out, c.value) << c.query;
  }
}

TEST(GetQueryVal, EmptyNameFindsNothing) {
  std::string out;
  EXPECT_FALSE(text::get_query_val("=a", "", 64, &out));
  EXPECT_EQ(out, "");
}

TEST(GetQueryVal, CutsDecodedValueToCapacity) {
  std::string out;
  ASSERT_TRUE(text::get_query_val("url=" + std::string(2000, 'x'), "url", 512, &out));
  EXPECT_EQ(out, std::string(511, 'x'));
}

TEST(GetQueryVal, CutsRawValueBeforeDecoding) {
  std::string raw;
  for (int i = 0; i < 500; ++i) raw += "%41";
  std::string out;
  ASSERT_TRUE(text::get_query_val("url=" + raw, "url", 512, &out));
  EXPECT_EQ(out, std::string(341, 'A'));

  // The 1023-byte limit falls inside an escape: its start comes out literally.
  const std::string split = std::string(1021, 'b') + "%41";
  ASSERT_TRUE(text::get_query_val("url=" + split, "url", 2048, &out));
  EXPECT_EQ(out, std::string(1021, 'b') + "%4");
}

TEST(HexVal, DigitsInBothCasesAndNothingElse) {
  EXPECT_EQ(text::hex_val('0'), 0);
  EXPECT_EQ(text::hex_val('9'), 9);
  EXPECT_EQ(text::hex_val('a'), 10);
  EXPECT_EQ(text::hex_val('F'), 15);
  for (int c : std::initializer_list<int>{'g', 'G', ' ', '/', ':', '@', '`', -1, -128, 0})
    EXPECT_EQ(text::hex_val(c), -1) << c;
}

}  // namespace
