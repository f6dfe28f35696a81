#include "sessions/user_folders.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using platform::Environment;

// Windows builds the tool's place from the whole LOCALAPPDATA (only the
// finished path is cut, to 511); POSIX from the root-2 base, cut to 460.
TEST(DefaultToolPath, FromTheAppDataFolder) {
  for (const std::size_t length : {10u, 460u, 470u, 484u}) {
    const std::string base(length, 'a');
    const Environment env = Environment::given({{"LOCALAPPDATA", base.c_str()}});
    const std::string expected = platform::kWindows
                                     ? base + "\\velunora\\velunora-tmux.exe"
                                     : base.substr(0, 460) + "/velunora/velunora-tmux";
    EXPECT_EQ(slots::default_tool_path(env), expected) << length;
  }
  EXPECT_EQ(slots::default_tool_path(Environment::given({})), "");
}

}  // namespace
