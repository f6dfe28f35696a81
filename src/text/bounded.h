// Bounded copies and file-system probes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace text {

/// `source` cut to at most `capacity` - 1 bytes: what a copy into a character
/// array of that capacity keeps. Bytes are counted, so a UTF-8 sequence may be
/// cut in the middle.
std::string str_copy(std::string_view source, std::size_t capacity);

/// True when `path` names an existing directory (links followed). An empty path
/// is never one and touches nothing.
bool is_dir(const std::string& path);

/// True when `path` names an existing regular file (links followed); a
/// directory of that name does not count. An empty path is never one.
bool file_exists(const std::string& path);

}  // namespace text
