// Whole-stream capture into one growing buffer with a fixed ceiling.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string_view>

namespace text {

/// Largest buffer a capture grows to; it holds at most one byte less of data.
inline constexpr std::size_t kCaptureCeiling = 8u << 20;

/// Everything a stream delivered, NUL-terminated (the terminator is not
/// counted in `size`). The data may itself hold NUL bytes.
struct Capture {
  struct Free {
    void operator()(char* p) const { std::free(p); }
  };
  std::unique_ptr<char, Free> data;
  std::size_t size = 0;

  std::string_view view() const { return {data.get(), size}; }
};

/// Reads up to n bytes into the buffer and returns how many; fewer only at the
/// end of the stream or on an error (the contract of fread).
using ReadFn = std::function<std::size_t(char* buffer, std::size_t n)>;

/// Reads a stream (a child's output, a file) to its end into a buffer that starts at 16 KiB and
/// doubles while it is at most 4 MiB, so it ends at 8 MiB: a longer stream yields its first 8 MiB
/// less one byte and the rest is not read. A failed growth ends the capture with what was read.
/// `data` is null only when the first allocation fails.
Capture read_pipe_all(const ReadFn& read);

}  // namespace text
