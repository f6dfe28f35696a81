#include "sessions/tmux_listing.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Listed = std::vector<std::pair<std::string, std::string>>;  // name, worktree

Listed listed(std::string_view output) {
  Listed out;
  for (const slots::SessionRecord& r : slots::parse_tmux_listing(output))
    out.emplace_back(r.name, r.worktree);
  return out;
}

// Finding the list and the objects; the black-box tests cover the members.
TEST(ParseTmuxListing, Shapes) {
  using namespace std::string_literals;
  const struct {
    const char* what;
    std::string output;
    Listed expected;
  } cases[] = {
      {"empty output", "", {}},
      {"no sessions key", R"({"list":[{"name":"a"}]})", {}},
      {"unquoted key", R"({sessions:[{"name":"a"}]})", {}},
      {"no bracket", R"({"sessions":{"name":"a"}})", {}},
      {"bracket last", R"({"sessions":[)", {}},
      {"empty array", R"({"sessions":[]})", {}},
      {"whitespace and other members",
       "{ \"v\": 2,\n \"sessions\" : [\n  { \"id\": 7, \"name\" : \"a\" ,\"tags\":[1,{}] }\n ]\n}",
       {{"a", ""}}},
      {"worktree wins",
       R"({"sessions":[{"project":"/p","name":"a","worktree":"/w"}]})",
       {{"a", "/w"}}},
      {"worktree not a string",
       R"({"sessions":[{"name":"a","worktree":7,"project":"/p"}]})",
       {{"a", "/p"}}},
      {"braces and quotes in strings",
       R"({"sessions":[{"name":"}{\"}","x":"{{"},{"name":"b"}]})",
       {{"}{\"}", ""}, {"b", ""}}},
      {"cut inside a string", R"({"sessions":[{"name":"a"},{"name":"b)", {{"a", ""}}},
      {"cut after a backslash", R"({"sessions":[{"name":"a"},{"name":"b\)", {{"a", ""}}},
      {"cut while nested", R"({"sessions":[{"name":"a"},{"name":"b","x":{})", {{"a", ""}}},
      {"cut drops later ones",
       R"({"sessions":[{"name":"a"},{"x":"}]},{"name":"c"}]})",
       {{"a", ""}}},
      {"ends right after an object", R"({"sessions":[{"name":"a"})", {{"a", ""}}},
      {"NUL ends the output", "{\"sessions\":[{\"name\":\"a\"},\0{\"name\":\"b\"}]}"s, {{"a", ""}}},
  };
  for (const auto& c : cases) EXPECT_EQ(listed(c.output), c.expected) << c.what;
}

TEST(ParseTmuxListing, CutsLongFields) {
  const std::string output = "{\"sessions\":[{\"name\":\"" + std::string(200, 'n') +
                             "\",\"worktree\":\"" + std::string(1000, 'w') + "\"}]}";
  EXPECT_EQ(listed(output), (Listed{{std::string(159, 'n'), std::string(767, 'w')}}));
}

}  // namespace
