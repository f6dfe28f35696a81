#include "slots/slots_file.h"

#include <cstdio>
#include <memory>

#include "platform/platform.h"

namespace slots {

namespace {

struct CloseFile {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

bool read_slots_file(const std::string& path, text::Capture* bytes) {
  *bytes = {};
  std::unique_ptr<std::FILE, CloseFile> file(platform::open_for_reading(path));
  if (!file) return false;
  *bytes = text::read_pipe_all(
      [&file](char* buffer, std::size_t n) { return std::fread(buffer, 1, n, file.get()); });
  return bytes->data != nullptr;
}

}  // namespace slots
