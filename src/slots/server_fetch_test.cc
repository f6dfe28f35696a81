#include "slots/server_fetch.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr std::string_view kBoundary = "0123456789abcdef0123456789abcdef";

// The line curl writes after a transfer, as transfer_format asks for it.
std::string line(const std::string& counts) {
  return "\n" + std::string(kBoundary) + " " + counts + "\n";
}

struct Expected {
  bool ok;
  int http_code;
  std::string body;
};

TEST(SplitTransfers, FindsEachBodyByItsLineAndSize) {
  const std::string props = R"({"total_slots":2})";
  const std::string metrics = "llamacpp:requests_processing 1\n";
  const std::string b(kBoundary);
  const struct {
    const char* what;
    std::string output;
    std::vector<Expected> expected;
  } cases[] = {
      {"both answered",
       props + line("17 200 0") + metrics + line("31 200 0"),
       {{true, 200, props}, {true, 200, metrics}}},
      {"an error status still carries its body",
       props + line("17 200 0") + "nope" + line("4 501 0"),
       {{true, 200, props}, {true, 501, "nope"}}},
      {"an empty body",
       line("0 204 0") + metrics + line("31 200 0"),
       {{true, 204, ""}, {true, 200, metrics}}},
      {"a curl without %{exitcode}",
       props + line("17 200 ") + metrics + line("31 200 "),
       {{true, 200, props}, {true, 200, metrics}}},
      {"no connection", line("0 000 7") + line("0 000 7"), {{false, 0, ""}, {false, 0, ""}}},
      {"cut off in the middle of the body (curl's code 18)",
       "{\"tot" + line("5 200 18") + metrics + line("31 200 0"),
       {{false, 200, ""}, {true, 200, metrics}}},
      {"a size that does not match",
       props + line("18 200 0") + metrics + line("31 200 0"),
       {{false, 200, ""}, {true, 200, metrics}}},
      {"a line that does not parse",
       props + line("17 2x0 0") + metrics + line("31 200 0"),
       {{false, 0, ""}, {true, 200, metrics}}},
      {"the last line missing",
       props + line("17 200 0") + metrics,
       {{true, 200, props}, {false, 0, ""}}},
      {"no line at all", props, {{false, 0, ""}, {false, 0, ""}}},
      {"the last line cut short",
       props + line("17 200 0") + metrics + "\n" + b + " 31 2",
       {{true, 200, props}, {false, 0, ""}}},
      // The boundary is only a line's start when a line feed comes before it
      // and a blank after it; anything else in a body is body.
      {"the boundary inside a body",
       b + " 1 200 0\n" + line("41 200 0") + "\n" + b + "x" + line("34 200 0"),
       {{true, 200, b + " 1 200 0\n"}, {true, 200, "\n" + b + "x"}}},
  };
  for (const auto& c : cases) {
    const std::vector<slots::Transfer> got = slots::split_transfers(c.output, kBoundary, 2);
    ASSERT_EQ(got.size(), c.expected.size()) << c.what;
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].ok, c.expected[i].ok) << c.what << ", transfer " << i;
      EXPECT_EQ(got[i].http_code, c.expected[i].http_code) << c.what << ", transfer " << i;
      EXPECT_EQ(got[i].body, c.expected[i].body) << c.what << ", transfer " << i;
    }
  }
}

}  // namespace
