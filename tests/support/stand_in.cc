// A stand-in for an outside command (curl, the multiplexer tool) in tests.
// It does what the test asks through environment variables:
//   STAND_IN_ARGV    file to write the received arguments to, one per line
//   STAND_IN_STDIN   file to write what arrived on standard input to
//   STAND_IN_STDOUT  file whose bytes are written to standard output
//   STAND_IN_REPEAT  with STAND_IN_STDOUT: write the file this many times
//   STAND_IN_SLEEP_MS  milliseconds to sleep before exiting (after writing)
//   STAND_IN_EXIT    exit code (default 0; 23 when standard output failed)
//   STAND_IN_PAGES   a folder: act as curl run with -w FORMAT and URLs. For
//                    each URL (an argument with "://") write the file named
//                    by the last segment of its path (query and fragment
//                    cut), then FORMAT with %{size_download}, %{http_code}
//                    (200, or 404 without such a file) and %{exitcode} (0)
//                    filled in and "\n" as a line feed
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

// The curl run of STAND_IN_PAGES: every URL answered from the folder.
int serve_pages(const std::string& folder, int argc, char** argv) {
  std::string format;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "-w") format = argv[i + 1];
  }
  for (int i = 1; i < argc; ++i) {
    std::string url = argv[i];
    if (url.find("://") == std::string::npos) continue;
    url = url.substr(0, url.find_first_of("?#"));
    const std::string name = url.substr(url.rfind('/') + 1);
    std::ifstream in(folder + "/" + name, std::ios::binary);
    const std::string body =
        in ? std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>())
           : std::string("not found");
    std::string line = format;
    const auto fill = [&line](const std::string& key, const std::string& value) {
      for (std::size_t at = line.find(key); at != std::string::npos; at = line.find(key, at)) {
        line.replace(at, key.size(), value);
        at += value.size();
      }
    };
    fill("%{size_download}", std::to_string(body.size()));
    fill("%{http_code}", in ? "200" : "404");
    fill("%{exitcode}", "0");
    fill("\\n", "\n");
    std::fwrite(body.data(), 1, body.size(), stdout);
    std::fwrite(line.data(), 1, line.size(), stdout);
  }
  return std::fflush(stdout) != 0 ? kWriteError : 0;
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
  if (const char* pages = std::getenv("STAND_IN_PAGES")) return serve_pages(pages, argc, argv);
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
