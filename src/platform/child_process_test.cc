// How outside commands are started: every argument arrives as it was given,
// nothing on the command line is expanded, the child's output arrives byte for
// byte, a script is never started, and a child past its limit is stopped. The
// stand-in program of the tests plays the child.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "harness.h"
#include "platform/platform.h"

namespace {

using namespace testing_support;
using platform::ChildProcess;

// Everything a child printed, as the program reads it.
std::string read_all(ChildProcess& child) {
  std::string out;
  char buffer[4096];
  for (;;) {
    const std::size_t n = child.read(buffer, sizeof buffer);
    out.append(buffer, n);
    if (n < sizeof buffer) return out;
  }
}

std::vector<std::string> stand_in_env(const TempDir& dir, Env vars = {}) {
  vars["STAND_IN_ARGV"] = dir.str("argv");
  std::vector<std::string> env;
  for (const auto& [name, value] : vars) env.push_back(name + "=" + value);
  return env;
}

TEST(ChildProcess, EveryArgumentArrivesAsGiven) {
  TempDir dir;
  // Each is one argument: white space, quotes, backslash runs before quotes
  // and at the end, empty ones, and what a command interpreter would expand.
  const std::vector<std::string> args = {
      "",
      " ",
      "two words",
      "\t",
      "tab\tinside",
      "\"",
      "\"\"",
      "say \"hi\"",
      "\\",
      "\\\\",
      "ends\\",
      "ends with space \\",
      "ends with spaces \\\\",
      "\\\"",
      "a\\\\\"b",
      "\\\\server\\share\\",
      "C:\\Program Files\\",
      "%PATH%",
      "%BOT_PASSWORD%",
      "^%PATH^%",
      "!PATH!",
      "a&b|c<d>e^f",
      "*",
      "?.exe",
      "'single'",
      "$HOME $(id) `id`",
      "",
  };
  std::vector<std::string> argv = {stand_in_path()};
  argv.insert(argv.end(), args.begin(), args.end());
  const std::vector<std::string> env = stand_in_env(dir);
  ChildProcess child;
  ASSERT_TRUE(child.start(argv, &env));
  EXPECT_EQ(read_all(child), "");
  EXPECT_EQ(child.finish(), 0);

  std::string expected;
  for (const std::string& arg : args) expected += arg + "\n";
  EXPECT_EQ(read_file(dir.path() / "argv"), expected);
}

TEST(ChildProcess, OutputArrivesByteForByte) {
  TempDir dir;
  std::string bytes = "line\r\nfeed\n\rcontrol-Z \x1a then more\n";
  for (int round = 0; round < 2; ++round) {
    for (int c = 0; c < 256; ++c) bytes += static_cast<char>(c);
  }
  write_file(dir.path() / "out", bytes);
  const std::vector<std::string> env = stand_in_env(dir, {{"STAND_IN_STDOUT", dir.str("out")}});
  ChildProcess child;
  ASSERT_TRUE(child.start({stand_in_path()}, &env));
  EXPECT_EQ(read_all(child), bytes);
  EXPECT_EQ(child.finish(), 0);
}

TEST(ChildProcess, ExitCodeComesBack) {
  TempDir dir;
  for (int code : {0, 1, 7, 23, 255}) {
    const std::vector<std::string> env =
        stand_in_env(dir, {{"STAND_IN_EXIT", std::to_string(code)}});
    ChildProcess child;
    ASSERT_TRUE(child.start({stand_in_path()}, &env));
    EXPECT_EQ(child.finish(), code);
    EXPECT_EQ(child.finish(), code) << "a second finish answers the same";
    EXPECT_FALSE(child.timed_out());
  }
}

TEST(ChildProcess, OnlyProgramsAreStarted) {
  TempDir dir;
  fs::create_directories(dir.path() / "folder.exe");
  // Scripts would need an interpreter; a text file is no program.
  write_file(dir.path() / "run.cmd", "@echo [1]\r\n");
  write_file(dir.path() / "run.bat", "@echo [1]\r\n");
  write_file(dir.path() / "text.exe", "[1]\n");
  const std::vector<std::string> env = stand_in_env(dir);
  for (const char* name : {"absent.exe", "folder.exe", "run.cmd", "run.bat", "text.exe"}) {
    ChildProcess child;
    EXPECT_FALSE(child.start({dir.str(name)}, &env)) << name;
  }
  EXPECT_FALSE(fs::exists(dir.path() / "argv"));
}

TEST(ChildProcess, LimitStopsAChildThatDoesNotEnd) {
  TempDir dir;
  write_file(dir.path() / "out", "[1]");
  const struct {
    const char* what;
    Env vars;
  } cases[] = {
      {"silent", {{"STAND_IN_SLEEP_MS", "600000"}}},
      {"printed, then hung",
       {{"STAND_IN_STDOUT", dir.str("out")}, {"STAND_IN_SLEEP_MS", "600000"}}},
  };
  for (const auto& c : cases) {
    const std::vector<std::string> env = stand_in_env(dir, c.vars);
    ChildProcess child;
    ASSERT_TRUE(child.start({stand_in_path()}, &env, std::chrono::milliseconds(300)));
    EXPECT_EQ(read_all(child), "") << c.what << ": output past the limit counts as none";
    EXPECT_EQ(child.finish(), -1) << c.what;
    EXPECT_TRUE(child.timed_out()) << c.what;
  }
  // Waiting without reading meets the same limit.
  const std::vector<std::string> env = stand_in_env(dir, {{"STAND_IN_SLEEP_MS", "600000"}});
  ChildProcess child;
  ASSERT_TRUE(child.start({stand_in_path()}, &env, std::chrono::milliseconds(300)));
  EXPECT_EQ(child.finish(), -1);
  EXPECT_TRUE(child.timed_out());
}

TEST(ChildProcess, ChildWithinItsLimitIsLeftAlone) {
  TempDir dir;
  write_file(dir.path() / "out", "[1]");
  const std::vector<std::string> env =
      stand_in_env(dir, {{"STAND_IN_STDOUT", dir.str("out")}, {"STAND_IN_EXIT", "3"}});
  ChildProcess child;
  ASSERT_TRUE(child.start({stand_in_path()}, &env, std::chrono::milliseconds(600000)));
  EXPECT_EQ(read_all(child), "[1]");
  EXPECT_EQ(child.finish(), 3);
  EXPECT_FALSE(child.timed_out());
}

TEST(ChildProcess, ClosingTheOutputEndsAChildStillWriting) {
  TempDir dir;
  write_file(dir.path() / "out", std::string(65536, 'x'));
  // Far more than any pipe holds: the child is still writing when the reader
  // stops, and would wait for ever on a pipe that stayed open.
  const std::vector<std::string> env =
      stand_in_env(dir, {{"STAND_IN_STDOUT", dir.str("out")}, {"STAND_IN_REPEAT", "1000000"}});
  ChildProcess child;
  ASSERT_TRUE(child.start({stand_in_path()}, &env));
  char first[16];
  EXPECT_EQ(child.read(first, sizeof first), sizeof first);
  EXPECT_NE(child.finish(), 0) << "the write error ends the child";
  EXPECT_FALSE(child.timed_out());
}

}  // namespace
