#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"

namespace {

// Windows builds the tool's place from the whole LOCALAPPDATA (only the
// finished path is cut, to 511); POSIX from the root-2 base, cut to 460.
TEST(DefaultToolPath, FromTheAppDataFolder) {
  for (const std::size_t length : {10u, 460u, 470u, 484u}) {
    const std::string base(length, 'a');
    platform::Environment env;
    env.local_app_data = base.c_str();
    const std::string expected = platform::kPathSep == '\\'
                                     ? base + "\\velunora\\velunora-tmux.exe"
                                     : base.substr(0, 460) + "/velunora/velunora-tmux";
    EXPECT_EQ(platform::default_tool_path(env), expected) << length;
  }
  EXPECT_EQ(platform::default_tool_path(platform::Environment{}), "");
}

}  // namespace
