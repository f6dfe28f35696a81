#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/platform.h"

namespace {

TEST(Probes, TellDirectoriesFromFiles) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / "slots-probes-test";
  fs::create_directories(dir);
  const fs::path file = dir / "f.txt";
  std::ofstream(file) << "x";

  EXPECT_TRUE(platform::is_dir(dir.string()));
  EXPECT_FALSE(platform::file_exists(dir.string()));
  EXPECT_TRUE(platform::file_exists(file.string()));
  EXPECT_FALSE(platform::is_dir(file.string()));
  EXPECT_FALSE(platform::is_dir(""));
  EXPECT_FALSE(platform::file_exists(""));
  EXPECT_FALSE(platform::is_dir((dir / "missing").string()));
  EXPECT_FALSE(platform::file_exists((dir / "missing").string()));
  fs::remove_all(dir);
}

}  // namespace
