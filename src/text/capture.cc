#include "text/capture.h"

namespace text {

namespace {
constexpr std::size_t kFirstBlock = 16384;
constexpr std::size_t kGrowSlack = 1024;
}  // namespace

Capture read_pipe_all(const ReadFn& read) {
  Capture capture;
  std::size_t size = kFirstBlock;
  char* block = static_cast<char*>(std::malloc(size));
  if (block == nullptr) return capture;
  std::size_t used = 0;
  for (;;) {
    // One byte always stays free for the terminating NUL.
    const std::size_t got = read(block + used, size - 1 - used);
    if (got == 0) break;
    used += got;
    if (size - used >= kGrowSlack) continue;
    if (size > kCaptureCeiling / 2) break;
    char* grown = static_cast<char*>(std::realloc(block, size * 2));
    if (grown == nullptr) break;
    block = grown;
    size *= 2;
  }
  block[used] = '\0';
  capture.data.reset(block);
  capture.size = used;
  return capture;
}

}  // namespace text
