#include "slots/slots_file.h"

#include <cstdio>

#include "platform/platform.h"

namespace slots {

namespace {
constexpr std::size_t kFirstBuffer = 4096;
// The buffer grows once no more than this many bytes of it are free.
constexpr std::size_t kGrowSlack = 511;

struct CloseFile {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
}  // namespace

bool read_slots_file(const std::string& path, text::Capture* bytes) {
  bytes->data.reset();
  bytes->size = 0;
  std::unique_ptr<std::FILE, CloseFile> file(platform::open_for_reading(path));
  if (!file) return false;
  std::size_t capacity = kFirstBuffer;
  std::unique_ptr<char, text::Capture::Free> buffer(static_cast<char*>(std::malloc(capacity)));
  if (!buffer) return false;

  std::size_t length = 0;
  for (;;) {
    // One byte always stays free for a terminating NUL.
    const std::size_t got = std::fread(buffer.get() + length, 1, capacity - 1 - length, file.get());
    if (got == 0) break;
    length += got;
    if (capacity - length > kGrowSlack) continue;
    if (capacity > kSlotsFileCeiling / 2) break;
    char* grown = static_cast<char*>(std::realloc(buffer.get(), capacity * 2));
    if (grown == nullptr) break;
    buffer.release();
    buffer.reset(grown);
    capacity *= 2;
  }
  buffer.get()[length] = '\0';
  bytes->data = std::move(buffer);
  bytes->size = length;
  return true;
}

}  // namespace slots
