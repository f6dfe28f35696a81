// Bounded copies: what a copy into a fixed-size character array keeps.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace text {

/// `source` cut to at most `capacity` - 1 bytes: what a copy into a character
/// array of that capacity keeps. Bytes are counted, so a UTF-8 sequence may be
/// cut in the middle.
std::string str_copy(std::string_view source, std::size_t capacity);

}  // namespace text
