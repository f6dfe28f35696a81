#include "text/exposition.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

// `count` times U+FFFD.
std::string replacements(int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += "\xEF\xBF\xBD";
  return out;
}

TEST(Exposition, LabelValuesEscapedAndKeptValidUtf8) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"a\\b\"c\nd", "a\\\\b\\\"c\\nd"},
      // Other control bytes and well-formed sequences stay as they are.
      {"t\tr\r\xc3\xa9\xf0\x9f\x99\x82", "t\tr\r\xc3\xa9\xf0\x9f\x99\x82"},
      // A lone continuation, an overlong form, a surrogate, a code point past
      // U+10FFFF and a cut sequence: each bad byte one U+FFFD.
      {"\x80\xc0\xaf\xed\xa0\x80\xf4\x90\x80\x80\xe2\x80", replacements(12)},
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
