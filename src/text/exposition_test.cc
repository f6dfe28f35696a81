#include "text/exposition.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(Exposition, LabelValuesEscapedAndKeptValidUtf8) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"plain-name_1.x", "plain-name_1.x"},
      {"a\\b\"c\nd", "a\\\\b\\\"c\\nd"},
      // Other control bytes are valid UTF-8 and stay as they are.
      {"tab\tcr\r", "tab\tcr\r"},
      {"\xc3\xa9\xe2\x80\xa8\xf0\x9f\x99\x82", "\xc3\xa9\xe2\x80\xa8\xf0\x9f\x99\x82"},
      // A lone continuation, a cut sequence, an overlong form, a surrogate and
      // a code point past U+10FFFF: each bad byte one U+FFFD.
      {"a\x80z", "a\xef\xbf\xbdz"},
      {"\xe2\x80", "\xef\xbf\xbd\xef\xbf\xbd"},
      {"\xc0\xaf", "\xef\xbf\xbd\xef\xbf\xbd"},
      {"\xed\xa0\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},
      {"\xf4\x90\x80\x80", "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},
  };
  for (const auto& c : cases) EXPECT_EQ(text::label_value(c.in), c.out) << c.in;
}

TEST(Exposition, FamilyWritesHelpTypeAndOnlyFiniteSamples) {
  std::string out;
  text::MetricFamily family(&out, "m", "What it is.", "gauge");
  family.add({{"a", "x\"y"}, {"b", ""}}, 2.5);
  family.add({}, 1e21);
  family.add({{"a", "nan"}}, std::numeric_limits<double>::quiet_NaN());
  family.add({{"a", "inf"}}, -std::numeric_limits<double>::infinity());
  family.add({{"a", "zero"}}, -0.0);
  EXPECT_EQ(out,
            "# HELP m What it is.\n"
            "# TYPE m gauge\n"
            "m{a=\"x\\\"y\",b=\"\"} 2.5\n"
            "m 1e+21\n"
            "m{a=\"zero\"} -0\n");
}

}  // namespace
