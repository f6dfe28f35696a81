// A stand-in named curl, alone on PATH, for calls that fetch from a server:
// it answers what each case needs and records what reached it.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "harness.h"

namespace testing_support {

class StandInCurl : public ::testing::Test {
 protected:
  void SetUp() override { install_stand_in(dir_.path() / "bin", "curl"); }

  // Runs the program with `query`; the stand-in prints `body` and exits
  // with `exit_code`.
  RunResult call(const std::string& query, std::string_view body = "", int exit_code = 0,
                 Env extra = {}) {
    write_file(dir_.path() / "body", body);
    Env env = {{"PATH", dir_.str("bin")},
               {"QUERY_STRING", query},
               {"STAND_IN_STDOUT", dir_.str("body")},
               {"STAND_IN_ARGV", dir_.str("argv")},
               {"STAND_IN_STDIN", dir_.str("stdin")},
               {"STAND_IN_EXIT", std::to_string(exit_code)}};
    env.insert(extra.begin(), extra.end());
    fs::remove(dir_.path() / "argv");
    fs::remove(dir_.path() / "stdin");
    return run_slots(env);
  }

  // The arguments the stand-in received, one per line.
  std::string argv() const { return read_file(dir_.path() / "argv"); }
  // What the stand-in read on its standard input.
  std::string input() const { return read_file(dir_.path() / "stdin"); }

  TempDir dir_;
};

}  // namespace testing_support
