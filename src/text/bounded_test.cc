#include "text/bounded.h"

#include <gtest/gtest.h>

namespace {

TEST(StrCopy, CutsToCapacityLessOne) {
  EXPECT_EQ(text::str_copy("abcd", 5), "abcd");
  EXPECT_EQ(text::str_copy("abcde", 5), "abcd");
  EXPECT_EQ(text::str_copy("abc", 1), "");
  EXPECT_EQ(text::str_copy("", 8), "");
  EXPECT_EQ(text::str_copy("\xc3\xa9", 2), "\xc3");  // bytes, not characters
}

}  // namespace
