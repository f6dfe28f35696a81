// Pulls one string member out of a window of JSON text, without parsing it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace text {

/// Looks for the member `name` inside the window [begin, end) of `text` and
/// stores its string value in `out`, cut to `capacity` - 1 bytes.
///
/// `text` reads like a C string: it ends at its first NUL byte. The first
/// occurrence of `name` in double quotes (the quoted pattern is cut to 127
/// bytes) that is followed, across tab, line feed, carriage return and space,
/// by ':' and then by '"' wins, at any nesting depth; occurrences followed by
/// anything else are passed over. The value runs to its closing quote, the
/// window end or the capacity, whichever comes first. The escapes \n, \r and
/// \t are decoded; any other escaped character stands for itself (\b, \f and
/// \uXXXX are not decoded). A backslash that is the window's last character
/// still takes the character right after the window as its escaped one.
///
/// Returns true when a string value was found (it may be empty or cut). On
/// false `out` is empty. An empty window finds nothing.
bool json_extract_str_after(std::string_view text, std::size_t begin, std::size_t end,
                            std::string_view name, std::size_t capacity, std::string* out);

}  // namespace text
