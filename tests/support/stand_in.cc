// A stand-in for an outside command (curl, the multiplexer tool) in tests.
// It does what the test asks through environment variables:
//   STAND_IN_ARGV    file to write the received arguments to, one per line
//   STAND_IN_STDIN   file to write what arrived on standard input to
//   STAND_IN_STDOUT  file whose bytes are written to standard output
//   STAND_IN_REPEAT  with STAND_IN_STDOUT: write the file this many times
//   STAND_IN_SLEEP_MS  milliseconds to sleep before exiting (after writing)
//   STAND_IN_EXIT    exit code (default 0; 23 when standard output failed)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <thread>

#include "platform/platform.h"

namespace {

// curl's exit code for output it could not write.
constexpr int kWriteError = 23;

const char* env_or(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : fallback;
}

}  // namespace

int main(int argc, char** argv) {
  // The bytes asked for leave unchanged, on Windows too.
  platform::prepare_stdout();
  if (const char* argv_file = std::getenv("STAND_IN_ARGV")) {
    std::ofstream out(argv_file, std::ios::binary | std::ios::trunc);
    for (int i = 1; i < argc; ++i) out << argv[i] << '\n';
  }
  if (const char* stdin_file = std::getenv("STAND_IN_STDIN")) {
    std::ofstream out(stdin_file, std::ios::binary | std::ios::trunc);
    out << std::cin.rdbuf();
  }
  if (const char* stdout_file = std::getenv("STAND_IN_STDOUT")) {
    std::ifstream in(stdout_file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const long repeat = std::strtol(env_or("STAND_IN_REPEAT", "1"), nullptr, 10);
    bool written = true;
    for (long i = 0; i < repeat && written; ++i) {
      written = std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
    }
    // A reader that went away ends the run as it ends curl's: with its write
    // error (the broken pipe's signal is ignored, as curl ignores it).
    if (std::fflush(stdout) != 0 || !written) return kWriteError;
  }
  const long sleep_ms = std::strtol(env_or("STAND_IN_SLEEP_MS", "0"), nullptr, 10);
  if (sleep_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(sleep_ms));
  return static_cast<int>(std::strtol(env_or("STAND_IN_EXIT", "0"), nullptr, 10));
}
