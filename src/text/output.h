// The one writer through which every byte of a response leaves the program.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace text {

/// Header block of every JSON answer that succeeds.
inline constexpr std::string_view kJsonHeader =
    "Content-Type: application/json; charset=utf-8\r\n\r\n";

/// Destination of a response: a C stream (standard output in the program) or a
/// string (tests and in-process fuzzing). Writes are unbuffered pass-throughs to
/// the stream's own buffering; write errors are not detected.
class Output {
 public:
  explicit Output(std::FILE* stream) : stream_(stream) {}
  explicit Output(std::string* sink) : sink_(sink) {}

  /// Writes the bytes exactly, NUL bytes included.
  void raw(std::string_view bytes);

  /// Writes `text` as a JSON string, quotes included: '"' and '\\' escaped,
  /// tab, line feed and carriage return as \t \n \r, every other byte below 32
  /// and DEL dropped, bytes from 128 up unchanged. The text ends at its first
  /// NUL byte.
  void json_str(std::string_view text);

 private:
  std::FILE* stream_ = nullptr;
  std::string* sink_ = nullptr;
};

/// Writes a complete failure response: "Status: <status>", the JSON header and
/// the envelope {"ok":false,"error":<message>[,"url":<url>]} and a line feed.
/// The url member is written only when `url` is not empty.
void reply_json_err(Output& out, std::string_view status, std::string_view message,
                    std::string_view url = {});

}  // namespace text
