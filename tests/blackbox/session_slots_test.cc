// The slots call for a session: the session directory from the roots or the
// multiplexer tool's listing, and its slots.json relayed byte for byte.
#include <gtest/gtest.h>

#include "session_world.h"

namespace {

using namespace session_world;

const std::string kNoSession = error_response("404 Not Found", "session not found on this node");
const std::string kNoSlotsFile = error_response(
    "404 Not Found", "no slots.json for this session (not using llama.cpp slots publisher)");

std::string served(std::string_view bytes) {
  return std::string(kJsonHeader) + std::string(bytes);
}

std::string query(const std::string& id) {
  return "action=slots&id=" + id;
}

TEST(SessionSlots, RootsComeFirstAndInOrder) {
  World world;
  const fs::path qv = world.root() / "qv";
  const fs::path app = world.root() / "appdata" / "velunora" / "sessions";
  const fs::path profile = world.root() / "profile" / ".velunora" / "sessions";
  write_file(qv / "s1" / "slots.json", "[\"qv\"]");
  write_file(app / "s1" / "slots.json", "[\"app\"]");
  write_file(app / "s2" / "slots.json", "[\"app\"]");
  write_file(profile / "s2" / "slots.json", "[\"profile\"]");
  write_file(profile / "s3" / "slots.json", "[\"profile\"]");
  const std::string long_id(160, 'i');  // longer than any listed name
  write_file(qv / long_id / "slots.json", "[\"long\"]");
  // The tool lists every one of them elsewhere; it must not even run.
  world.add_session("tree", "x", {"slots.json"}, 1000, "[\"tool\"]");
  world.set_listing(listing(listed("s1", world.path("tree")) + "," +
                            listed("s2", world.path("tree")) + "," +
                            listed("s3", world.path("tree"))));

  Env env = world.env("");
  env["QV_SESSIONS_DIR"] = qv.string();
  env["LOCALAPPDATA"] = world.path("appdata");
  env["USERPROFILE"] = world.path("profile");
  const struct {
    std::string id;
    const char* body;
  } cases[] = {{"s1", "[\"qv\"]\n"},
               {"s2", "[\"app\"]\n"},
               {"s3", "[\"profile\"]\n"},
               {long_id, "[\"long\"]\n"}};
  for (const auto& c : cases) {
    env["QUERY_STRING"] = query(c.id);
    EXPECT_EQ(run_slots(env).out, served(c.body)) << c.id;
    EXPECT_FALSE(world.tool_ran()) << c.id;
  }
  // Not under any root: now the tool is asked.
  env["QUERY_STRING"] = query("s");
  EXPECT_EQ(run_slots(env).out, served("[\"tool\"]\n"));
  EXPECT_TRUE(world.tool_ran());
}

TEST(SessionSlots, RootDirectoryWithoutSlotsFileEndsTheSearch) {
  World world;
  fs::create_directories(world.root() / "qv" / "s1");
  world.add_session("tree", "x", {"slots.json"}, 1000);
  world.set_listing(listing(listed("s1", world.path("tree"))));
  Env env = world.env(query("s1"));
  env["QV_SESSIONS_DIR"] = world.path("qv");
  EXPECT_EQ(run_slots(env).out, kNoSlotsFile);
  EXPECT_FALSE(world.tool_ran());
}

TEST(SessionSlots, ListedSessionsExactBeforeSubstring) {
  World world;
  world.add_session("abx", "x", {"slots.json"}, 1000, "[\"ab-x\"]");
  world.add_session("ab", "x", {"slots.json"}, 1000, "[\"ab\"]");
  world.add_session("web2", "x", {"slots.json"}, 1000, "[\"web-2\"]");
  world.add_session("newest", "old", {"slots.json"}, 1000, "[\"old\"]");
  world.add_session("newest", "new", {"slots.json"}, 2000, "[\"new\"]");
  world.add_session("nofile", "x", {"meta.json"}, 1000);
  world.add_session("long", "x", {"slots.json"}, 1000, "[\"long\"]");
  // Listed names keep 159 characters: a 160-character id matches none.
  const std::string long_name(200, 'a');
  world.set_listing(listing(
      listed(long_name, world.path("long")) + "," + listed("ab-x", world.path("abx")) + "," +
      listed("ab", world.path("ab")) + "," + listed("web-2", world.path("web2")) + "," +
      listed("web", world.path("nothing")) + "," + listed("multi", world.path("newest")) + "," +
      listed("meta-only", world.path("nofile"))));
  const struct {
    std::string id;
    std::string out;
  } cases[] = {
      {"ab", served("[\"ab\"]\n")},
      {"b-", served("[\"ab-x\"]\n")},
      {"web", served("[\"web-2\"]\n")},
      {"Web", kNoSession},
      {"multi", served("[\"new\"]\n")},
      {"meta-only", kNoSlotsFile},
      {"zzz", kNoSession},
      {std::string(159, 'a'), served("[\"long\"]\n")},
      {std::string(160, 'a'), kNoSession},
  };
  for (const auto& c : cases) {
    const RunResult result = run_slots(world.env(query(c.id)));
    EXPECT_EQ(result.out, c.out) << c.id;
    EXPECT_EQ(result.exit_code, 0) << c.id;
    EXPECT_TRUE(world.tool_ran()) << c.id;
  }
}

TEST(SessionSlots, NoListedSessions) {
  World world;
  const struct {
    const char* what;
    std::string listing;
  } cases[] = {
      {"empty output", ""},
      {"empty list", listing("")},
      {"broken", "{\"sessions\":[{\"name\":\"s1\""},
  };
  for (const auto& c : cases) {
    world.set_listing(c.listing);
    EXPECT_EQ(run_slots(world.env(query("s1"))).out, kNoSession) << c.what;
  }
  Env env = world.env(query("s1"));
  env["VELUNORA_TMUX_BIN"] = world.path("bin/absent");
  EXPECT_EQ(run_slots(env).out, kNoSession);
}

TEST(SessionSlots, RelaysTheFileWithTheLineFeedRule) {
  using namespace std::string_literals;
  World world;
  const fs::path file = world.root() / "qv" / "s" / "slots.json";
  Env env = world.env(query("s"));
  env["QV_SESSIONS_DIR"] = world.path("qv");
  const struct {
    const char* what;
    std::string bytes;
    std::string out;
  } cases[] = {
      {"empty", "", kNoSlotsFile},
      {"one byte", "[", kNoSlotsFile},
      {"one line feed", "\n", kNoSlotsFile},
      {"two bytes", "[]", served("[]\n")},
      {"ends in a line feed", "[1]\n", served("[1]\n")},
      {"ends in CR LF", "[1]\r\n", served("[1]\r\n")},
      {"ends in a space", "[1] ", served("[1] \n")},
      {"ends in a brace", "{\"a\":1}", served("{\"a\":1}\n")},
      {"two line feeds", "\n\n", served("\n\n")},
      {"not JSON at all", "hello", served("hello\n")},
      {"NUL bytes", "\0[\0]\0"s, served("\0[\0]\0\n"s)},
  };
  for (const auto& c : cases) {
    write_file(file, c.bytes);
    EXPECT_EQ(run_slots(env).out, c.out) << c.what;
  }
  fs::remove(file);
  EXPECT_EQ(run_slots(env).out, kNoSlotsFile);
  fs::create_directories(file);
  EXPECT_EQ(run_slots(env).out, kNoSlotsFile);
}

TEST(SessionSlots, LargeFilesAreCutAt8MiB) {
  World world;
  const fs::path file = world.root() / "qv" / "s" / "slots.json";
  Env env = world.env(query("s"));
  env["QV_SESSIONS_DIR"] = world.path("qv");
  constexpr std::size_t kCeiling = 8u << 20;
  const struct {
    std::size_t size;
    std::size_t kept;
    char last;
  } cases[] = {
      {kCeiling - 1, kCeiling - 1, '\n'},
      {kCeiling - 1, kCeiling - 1, 'x'},
      {kCeiling, kCeiling - 1, 'x'},
      {kCeiling + 4096, kCeiling - 1, 'x'},
  };
  for (const auto& c : cases) {
    std::string bytes(c.size, 'x');
    bytes[c.size - 1] = c.last;
    bytes[c.kept - 1] = c.last;
    write_file(file, bytes);
    bytes.resize(c.kept);
    const std::string expected = served(bytes) + (c.last == '\n' ? "" : "\n");
    const std::string out = run_slots(env).out;
    EXPECT_EQ(out.size(), expected.size()) << c.size;
    EXPECT_TRUE(out == expected) << c.size;
  }
}

}  // namespace
