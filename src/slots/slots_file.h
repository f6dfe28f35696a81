// Reading a session's slots.json whole, up to a fixed ceiling.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

namespace slots {

/// Largest buffer the file is read into; it holds at most one byte less.
inline constexpr std::size_t kSlotsFileCeiling = 8u << 20;

/// The bytes read from a file.
struct FileBytes {
  struct Free {
    void operator()(char* p) const { std::free(p); }
  };
  std::unique_ptr<char, Free> data;
  std::size_t size = 0;

  std::string_view view() const { return {data.get(), size}; }
};

/// Opens `path` for binary reading and reads it into a buffer that starts at
/// 4096 bytes and doubles while it is at most 4 MiB, so it ends at 8 MiB: a
/// longer file yields its first 8 MiB less one byte and the rest is not read.
/// A read error or a failed growth ends the reading with what was read. False
/// when the file cannot be opened or the first buffer cannot be had.
bool read_slots_file(const std::string& path, FileBytes* bytes);

}  // namespace slots
