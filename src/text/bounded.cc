#include "text/bounded.h"

#include "platform/platform.h"

namespace text {

std::string str_copy(std::string_view source, std::size_t capacity) {
  if (capacity == 0) return {};
  if (source.size() > capacity - 1) source = source.substr(0, capacity - 1);
  return std::string(source);
}

bool is_dir(const std::string& path) {
  platform::FileStatus status;
  return !path.empty() && platform::stat_path(path, &status) && status.is_dir;
}

bool file_exists(const std::string& path) {
  platform::FileStatus status;
  return !path.empty() && platform::stat_path(path, &status) && status.is_regular;
}

}  // namespace text
