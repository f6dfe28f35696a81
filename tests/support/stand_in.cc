// A stand-in for an outside command (curl, the multiplexer tool) in tests.
// It does what the test asks through environment variables:
//   STAND_IN_ARGV    file to write the received arguments to, one per line
//   STAND_IN_STDOUT  file whose bytes are written to standard output
//   STAND_IN_REPEAT  with STAND_IN_STDOUT: write the file this many times
//   STAND_IN_SLEEP_MS  milliseconds to sleep before exiting (after writing)
//   STAND_IN_EXIT    exit code (default 0)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

namespace {

const char* env_or(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : fallback;
}

}  // namespace

int main(int argc, char** argv) {
  if (const char* argv_file = std::getenv("STAND_IN_ARGV")) {
    std::ofstream out(argv_file, std::ios::binary | std::ios::trunc);
    for (int i = 1; i < argc; ++i) out << argv[i] << '\n';
  }
  if (const char* stdout_file = std::getenv("STAND_IN_STDOUT")) {
    std::ifstream in(stdout_file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const long repeat = std::strtol(env_or("STAND_IN_REPEAT", "1"), nullptr, 10);
    for (long i = 0; i < repeat; ++i) {
      if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size()) break;
    }
    std::fflush(stdout);
  }
  const long sleep_ms = std::strtol(env_or("STAND_IN_SLEEP_MS", "0"), nullptr, 10);
  if (sleep_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(sleep_ms));
  return static_cast<int>(std::strtol(env_or("STAND_IN_EXIT", "0"), nullptr, 10));
}
