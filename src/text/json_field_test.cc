#include "text/json_field.h"

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;

struct FieldCase {
  const char* what;
  std::string text;
  const char* name;
  bool found;
  std::string value;
  std::size_t capacity = 160;
};

TEST(JsonExtractStrAfter, ReadsWholeTextAsWindow) {
  const FieldCase cases[] = {
      {"plain", R"({"name":"abc"})", "name", true, "abc"},
      {"empty value", R"({"name":""})", "name", true, ""},
      {"spaces around colon", "{\"name\" \t\r\n: \t\r\n\"abc\"}", "name", true, "abc"},
      {"form feed before colon", "{\"name\"\f:\"abc\"}", "name", false, ""},
      {"vertical tab after colon", "{\"name\":\v\"abc\"}", "name", false, ""},
      {"control byte after colon", "{\"name\":\x01\"abc\"}", "name", false, ""},
      {"name first seen as a value", R"({"a":"name","name":"b"})", "name", true, "b"},
      {"only a longer member name", R"({"username":"u"})", "name", false, ""},
      {"null then string", R"({"name":null,"x":{"name":"s"}})", "name", true, "s"},
      {"number", R"({"name":12})", "name", false, ""},
      {"object", R"({"name":{"k":"v"}})", "name", false, ""},
      {"true", R"({"name":true})", "name", false, ""},
      {"nested comes first", R"({"x":{"name":"in"},"name":"out"})", "name", true, "in"},
      {"escaped quote", R"({"name":"a\"b"})", "name", true, "a\"b"},
      {"doubled backslashes", R"({"p":"C:\\dev\\x"})", "p", true, "C:\\dev\\x"},
      {"escaped slash", R"({"p":"a\/b"})", "p", true, "a/b"},
      {"n r t decoded", R"({"p":"1\n2\r3\t4"})", "p", true, "1\n2\r3\t4"},
      {"b f u not decoded", R"({"p":"\b\f\u00e9"})", "p", true, "bfu00e9"},
      {"unterminated value", R"({"name":"abc)", "name", true, "abc"},
      {"colon at end", R"({"name":)", "name", false, ""},
      {"name at end", R"({"name")", "name", false, ""},
      {"trailing backslash", R"({"name":"ab\)", "name", true, "ab\\"},
      {"NUL ends value", "{\"name\":\"ab\0cd\"}"s, "name", true, "ab"},
      {"NUL before member", "{\0\"name\":\"x\"}"s, "name", false, ""},
      {"backslash then NUL", "{\"name\":\"a\\\0b\"}"s, "name", true, "a\\"},
      {"cut to capacity", R"({"name":"abcdef"})", "name", true, "abc", 4},
      {"200 into 160", "{\"name\":\"" + std::string(200, 'n') + "\"}", "name", true,
       std::string(159, 'n')},
      {"capacity one", R"({"name":"abcdef"})", "name", true, "", 1},
      {"escape counts once", R"({"name":"\"\"\"\""})", "name", true, "\"\"\"", 4},
  };
  for (const FieldCase& c : cases) {
    std::string out = "left over";
    EXPECT_EQ(text::json_extract_str_after(c.text, 0, c.text.size(), c.name, c.capacity, &out),
              c.found)
        << c.what;
    EXPECT_EQ(out, c.value) << c.what;
  }
}

TEST(JsonExtractStrAfter, StaysInsideTheWindow) {
  const std::string text = R"({"name":"a"}{"name":"b"})";
  std::string out;
  // The second object only.
  EXPECT_TRUE(text::json_extract_str_after(text, 12, text.size() - 1, "name", 160, &out));
  EXPECT_EQ(out, "b");
  // A window that ends inside the quoted name, after it, or inside the value.
  EXPECT_FALSE(text::json_extract_str_after(text, 0, 5, "name", 160, &out));
  EXPECT_EQ(out, "");
  EXPECT_FALSE(text::json_extract_str_after(text, 0, 7, "name", 160, &out));
  EXPECT_FALSE(text::json_extract_str_after(text, 0, 8, "name", 160, &out));
  EXPECT_TRUE(text::json_extract_str_after(text, 0, 9, "name", 160, &out));
  EXPECT_EQ(out, "");
  EXPECT_TRUE(text::json_extract_str_after(text, 0, 10, "name", 160, &out));
  EXPECT_EQ(out, "a");
  // Empty and reversed windows, and one past the text.
  EXPECT_FALSE(text::json_extract_str_after(text, 3, 3, "name", 160, &out));
  EXPECT_FALSE(text::json_extract_str_after(text, 9, 3, "name", 160, &out));
  EXPECT_TRUE(text::json_extract_str_after(text, 12, 1000, "name", 160, &out));
  EXPECT_EQ(out, "b");
  // A backslash ending the window escapes the character after it.
  const std::string cut = R"({"name":"ab\q)";
  EXPECT_TRUE(text::json_extract_str_after(cut, 0, cut.size() - 1, "name", 160, &out));
  EXPECT_EQ(out, "abq");
}

}  // namespace
