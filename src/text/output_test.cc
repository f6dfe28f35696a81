#include "text/output.h"

#include <gtest/gtest.h>

namespace {

std::string json(std::string_view text) {
  std::string sink;
  text::Output out(&sink);
  out.json_str(text);
  return sink;
}

TEST(JsonPrintStr, EscapesDropsAndPassesBytes) {
  const struct {
    std::string_view in;
    std::string_view out;
  } cases[] = {
      {"", "\"\""},
      {"plain / text", "\"plain / text\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"C:\\dir\\", "\"C:\\\\dir\\\\\""},
      {"a\tb\nc\rd", "\"a\\tb\\nc\\rd\""},
      {"\x01x\x1fy\x7fz\x08", "\"xyz\""},
      {"caf\xc3\xa9 \xff", "\"caf\xc3\xa9 \xff\""},
      {std::string_view("ab\0cd", 5), "\"ab\""},
  };
  for (const auto& c : cases) EXPECT_EQ(json(c.in), c.out) << c.in;
}

TEST(ReplyJsonErr, EnvelopeWithAndWithoutUrl) {
  std::string sink;
  text::Output out(&sink);
  text::reply_json_err(out, "401 Unauthorized", "unauthorized");
  EXPECT_EQ(sink,
            "Status: 401 Unauthorized\r\nContent-Type: application/json; charset=utf-8\r\n\r\n"
            "{\"ok\":false,\"error\":\"unauthorized\"}\n");
  EXPECT_EQ(sink.size(), 111u);

  sink.clear();
  text::reply_json_err(out, "502 Bad Gateway", "m\"", "http://h/\\");
  EXPECT_EQ(sink,
            "Status: 502 Bad Gateway\r\nContent-Type: application/json; charset=utf-8\r\n\r\n"
            "{\"ok\":false,\"error\":\"m\\\"\",\"url\":\"http://h/\\\\\"}\n");

  std::string empty_url;
  text::Output out2(&empty_url);
  text::reply_json_err(out2, "401 Unauthorized", "unauthorized", "");
  EXPECT_EQ(empty_url.size(), 111u);
}

}  // namespace
