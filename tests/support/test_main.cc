// Entry of the test programs: GoogleTest, with standard output in binary mode
// so listings and results read the same from every build.
#include <gtest/gtest.h>

#include "platform/platform.h"

int main(int argc, char** argv) {
  platform::prepare_stdout();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
