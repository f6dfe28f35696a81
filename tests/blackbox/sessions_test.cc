// The sessions call, from the multiplexer tool's listing or from the first
// session root, byte for byte.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "session_world.h"

namespace {

using namespace session_world;

const std::string kQuery = "action=sessions";

std::string answer(const std::string& entries) {
  return std::string(kJsonHeader) + "{\"ok\":true,\"sessions\":[" + entries + "]}\n";
}

std::string entry(std::string_view name, std::string_view sid, bool has_slots) {
  return "{\"name\":" + json_string(name) + ",\"sid\":" + json_string(sid) +
         ",\"has_slots\":" + (has_slots ? "true" : "false") + "}";
}

std::string numbered(const char* prefix, int i) {
  char name[32];
  std::snprintf(name, sizeof name, "%s%03d", prefix, i);
  return name;
}

TEST(Sessions, NoToolAndNoRootGiveAnEmptyList) {
  World world;
  Env env = world.env(kQuery);
  env["VELUNORA_TMUX_BIN"] = world.path("bin/absent");
  const RunResult result = run_slots(env);
  EXPECT_EQ(result.out, answer(""));
  EXPECT_EQ(result.exit_code, 0);
}

TEST(Sessions, ListsInOrderAndStopsAt128) {
  World world;
  std::string entries;
  std::string expected;
  for (int i = 0; i < 130; ++i) {
    if (i > 0) entries += ",";
    entries += listed(numbered("s", 129 - i), world.path("none"));
    if (i >= 128) continue;
    if (i > 0) expected += ",";
    expected += entry(numbered("s", 129 - i), "", false);
  }
  world.set_listing(listing(entries));
  // A root exists, but a listing with sessions is never mixed with it.
  Env env = world.env(kQuery);
  fs::create_directories(world.root() / "root" / "r1");
  env["QV_SESSIONS_DIR"] = world.path("root");
  EXPECT_EQ(run_slots(env).out, answer(expected));
  EXPECT_EQ(world.tool_argv(), "--list\n--output-json\n");
}

TEST(Sessions, ReadsTheObjectsItCan) {
  World world;
  world.add_session("p", "sp", {"slots.json"}, 1000);
  world.set_listing(
      "noise {\"version\":1,\"sessions\" :\n [\n"
      "  {\"worktree\":\"/x\"},\n"
      "  {\"name\":\"\",\"worktree\":\"/x\"},\n"
      "  {\"name\":7},\n"
      "  {\"name\":\"quote\\\"back\\\\slash\\/tab\\tu\\u00e9\"},\n"
      "  {\"name\":\"proj\",\"worktree\":\"\",\"project\":" +
      json_string(world.path("p")) +
      "},\n"
      "  {\"meta\":{\"name\":\"inner\"},\"name\":\"outer\"}\n"
      " ],\n"
      " \"after\":{\"name\":\"late\"}\n}");
  EXPECT_EQ(
      run_slots(world.env(kQuery)).out,
      answer(entry("quote\"back\\slash/tab\tuu00e9", "", false) + "," + entry("proj", "sp", true) +
             "," + entry("inner", "", false) + "," + entry("late", "", false)));
}

TEST(Sessions, ChoosesTheNewestSessionDirectory) {
  World world;
  struct Case {
    const char* tree;
    const char* sid;  // expected
    bool has_slots;
  };
  // Newest slots.json wins.
  world.add_session("newest", "a", {"slots.json"}, 1000);
  world.add_session("newest", "b", {"slots.json"}, 3000);
  world.add_session("newest", "c", {"slots.json"}, 2000);
  // Equal stamps: the later in enumeration order.
  world.add_session("tie", "a", {"slots.json"}, 5000);
  world.add_session("tie", "b", {"slots.json"}, 5000);
  // meta.json stands in when slots.json is missing.
  world.add_session("meta", "a", {"slots.json"}, 1000);
  world.add_session("meta", "b", {"meta.json"}, 2000);
  // slots.json is what counts when both are there.
  world.add_session("both", "a", {"slots.json"}, 1000);
  world.add_session("both", "a", {"meta.json"}, 9000);
  world.add_session("both", "b", {"slots.json"}, 2000);
  // A slots.json that is a directory still stamps its candidate.
  fs::create_directories(world.root() / "dir/.velunora/sessions/a/slots.json");
  set_mtime(world.root() / "dir/.velunora/sessions/a/slots.json", 4000);
  world.add_session("dir", "b", {"slots.json"}, 1000);
  // Names beginning with '.', plain files and directories without either
  // file are no candidates.
  world.add_session("dots", ".hidden", {"slots.json"}, 9000);
  world.add_session("dots", "a", {"slots.json"}, 1000);
  write_file(world.root() / "dots/.velunora/sessions/zfile", "x");
  fs::create_directories(world.root() / "dots/.velunora/sessions/zempty");
  // Nothing qualifies, or there is no sessions folder at all.
  fs::create_directories(world.root() / "empty/.velunora/sessions/a");
  fs::create_directories(world.root() / "bare");
  // A stamp of 1970 itself can win; one before it never does.
  world.add_session("epoch", "a", {"slots.json"}, 0);
  world.add_session("before", "a", {"slots.json"}, -100);
  // A name longer than a sid holds: chosen, but cut, so its slots.json is
  // looked for under a name that does not exist.
  const std::string long_sid(160, 'l');
  world.add_session("long", long_sid, {"slots.json"}, 1000);

  const Case cases[] = {
      {"newest", "b", true}, {"tie", "b", true},    {"meta", "b", false}, {"both", "b", true},
      {"dir", "a", false},   {"dots", "a", true},   {"empty", "", false}, {"bare", "", false},
      {"epoch", "a", true},  {"before", "", false}, {"long", "", false},
  };
  std::string entries;
  std::string expected;
  // Wine's C runtime reports the access time as the modification time of a
  // file dated before 1970, so that one case cannot be checked under it.
  const bool under_wine = std::getenv("WINEPREFIX") != nullptr;
  for (const Case& c : cases) {
    if (under_wine && std::string(c.tree) == "before") continue;
    if (!entries.empty()) {
      entries += ",";
      expected += ",";
    }
    entries += listed(c.tree, world.path(c.tree));
    const std::string sid = std::string(c.tree) == "long" ? long_sid.substr(0, 159) : c.sid;
    expected += entry(c.tree, sid, c.has_slots);
  }
  world.set_listing(listing(entries));
  EXPECT_EQ(run_slots(world.env(kQuery)).out, answer(expected));
}

TEST(Sessions, FindsTheTool) {
  World world;
  world.set_listing(listing(listed("found", world.path("none"))));
  const std::string found = answer(entry("found", "", false));

  Env env = world.env(kQuery);
  env.erase("VELUNORA_TMUX_BIN");
  install_stand_in(world.root() / "path", "velunora-tmux");
  env["PATH"] = world.path("path");
  env["STAND_IN_EXIT"] = "3";  // its exit status is not looked at
  EXPECT_EQ(run_slots(env).out, found);
  EXPECT_EQ(world.tool_argv(), "--list\n--output-json\n");

  // The installed tool wins over the search path.
  env["PATH"] = world.path("nothing-here");
  EXPECT_EQ(run_slots(env).out, answer(""));
  install_stand_in(world.root() / "appdata" / "velunora", "velunora-tmux");
  env["LOCALAPPDATA"] = world.path("appdata");
  EXPECT_EQ(run_slots(env).out, found);
}

TEST(Sessions, KeepsWhatCameBeforeDamage) {
  World world;
  // Megabytes of output: the capture ends inside the second object's string.
  world.set_listing(listing(listed("a", world.path("none")) + ",{\"name\":\"b\",\"pad\":\"" +
                            std::string(9u << 20, 'x') + "\"}"));
  EXPECT_EQ(run_slots(world.env(kQuery)).out, answer(entry("a", "", false)));
  // Output that stops inside an object.
  world.set_listing("{\"sessions\":[" + listed("a", world.path("none")) + ",{\"name\":\"b\"");
  EXPECT_EQ(run_slots(world.env(kQuery)).out, answer(entry("a", "", false)));
}

// The fallback lists the first root only: its subdirectories in name order,
// at most 128, skipping files and names beginning with '.'.
TEST(Sessions, FallsBackToTheFirstRoot) {
  World world;
  const fs::path first = world.root() / "first";
  for (int i = 0; i < 130; ++i) fs::create_directories(first / numbered("d", i));
  write_file(first / "d000" / "slots.json", "[]");
  fs::create_directories(first / "d001" / "slots.json");
  write_file(first / "d002" / "meta.json", "{}");
  write_file(first / "d0005", "a file");
  fs::create_directories(first / ".dot");
  fs::create_directories(world.root() / "appdata" / "velunora" / "sessions" / "second");
  fs::create_directories(world.root() / "profile" / ".velunora" / "sessions" / "third");

  std::string expected;
  for (int i = 0; i < 128; ++i) {
    if (i > 0) expected += ",";
    expected += entry(numbered("d", i), numbered("d", i), i == 0);
  }

  Env env = world.env(kQuery);
  env["QV_SESSIONS_DIR"] = first.string();
  env["LOCALAPPDATA"] = world.path("appdata");
  env["USERPROFILE"] = world.path("profile");
  const struct {
    const char* what;
    std::string listing;
  } tools[] = {
      {"empty output", ""},
      {"no sessions", listing("")},
      {"only unnamed objects", listing("{\"worktree\":\"/x\"}")},
      {"not JSON", "usage: velunora-tmux ...\n"},
  };
  for (const auto& tool : tools) {
    world.set_listing(tool.listing);
    EXPECT_EQ(run_slots(env).out, answer(expected)) << tool.what;
  }

  // Without QV_SESSIONS_DIR the next root is the first.
  env.erase("QV_SESSIONS_DIR");
  EXPECT_EQ(run_slots(env).out, answer(entry("second", "second", false)));
  env["QV_SESSIONS_DIR"] = (first / "d000" / "slots.json").string();
  EXPECT_EQ(run_slots(env).out, answer(entry("second", "second", false)));
  env.erase("LOCALAPPDATA");
  EXPECT_EQ(run_slots(env).out, answer(entry("third", "third", false)));
}

// A tool that never ends is killed after its time limit, and what it printed
// before counts as nothing. This run takes that long.
TEST(Sessions, HangingToolCountsAsNoOutput) {
  World world;
  world.set_listing(listing(listed("a", world.path("none"))));
  fs::create_directories(world.root() / "root" / "r1");
  Env env = world.env(kQuery);
  env["STAND_IN_SLEEP_MS"] = "60000";
  env["QV_SESSIONS_DIR"] = world.path("root");
  EXPECT_EQ(run_slots(env).out, answer(entry("r1", "r1", false)));
}

}  // namespace
