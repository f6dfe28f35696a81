#include "text/bounded.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

TEST(StrCopy, CutsToCapacityLessOne) {
  EXPECT_EQ(text::str_copy("abcd", 5), "abcd");
  EXPECT_EQ(text::str_copy("abcde", 5), "abcd");
  EXPECT_EQ(text::str_copy("abc", 1), "");
  EXPECT_EQ(text::str_copy("", 8), "");
  EXPECT_EQ(text::str_copy("\xc3\xa9", 2), "\xc3");  // bytes, not characters
}

TEST(Probes, TellDirectoriesFromFiles) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / "slots-bounded-test";
  fs::create_directories(dir);
  const fs::path file = dir / "f.txt";
  std::ofstream(file) << "x";

  EXPECT_TRUE(text::is_dir(dir.string()));
  EXPECT_FALSE(text::file_exists(dir.string()));
  EXPECT_TRUE(text::file_exists(file.string()));
  EXPECT_FALSE(text::is_dir(file.string()));
  EXPECT_FALSE(text::is_dir(""));
  EXPECT_FALSE(text::file_exists(""));
  EXPECT_FALSE(text::is_dir((dir / "missing").string()));
  EXPECT_FALSE(text::file_exists((dir / "missing").string()));
  fs::remove_all(dir);
}

}  // namespace
