// The one percent-encoder of the tests and fuzzers: header-only, so the
// fuzz targets use it without the test harness.
#pragma once

#include <string>
#include <string_view>

namespace testing_support {

/// `text` with every byte written as a %XX escape (upper-case hex digits), so
/// it arrives in a query value exactly as written; with `plus_for_space` a
/// space becomes '+' instead, as a form would send it.
inline std::string percent_encode(std::string_view text, bool plus_for_space = false) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (const unsigned char c : text) {
    if (plus_for_space && c == ' ') {
      encoded += '+';
      continue;
    }
    encoded += '%';
    encoded += kHex[c >> 4];
    encoded += kHex[c & 15];
  }
  return encoded;
}

}  // namespace testing_support
