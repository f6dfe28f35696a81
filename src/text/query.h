// Query-string lookup with URL decoding.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace text {

/// Value of one hexadecimal digit: 0-9 for '0'-'9', 10-15 for 'a'-'f' and
/// 'A'-'F', -1 for anything else (bytes from 128 up included).
int hex_val(int c);

/// Finds the first "name=value" segment of `query` (segments are split at '&'
/// only; names are compared undecoded) and stores its value, decoded ("%XX"
/// escapes and '+' for space), in `out`. The raw value is cut to 1023 bytes
/// before decoding and the decoded value to `capacity` - 1 bytes; a decoded
/// NUL ends the value. Returns true when the parameter was found (an empty
/// value included). On false `out` is empty. An empty query or name finds
/// nothing.
bool get_query_val(std::string_view query, std::string_view name, std::size_t capacity,
                   std::string* out);

}  // namespace text
