#include "text/bounded.h"

namespace text {

std::string str_copy(std::string_view source, std::size_t capacity) {
  if (capacity == 0) return {};
  if (source.size() > capacity - 1) source = source.substr(0, capacity - 1);
  return std::string(source);
}

}  // namespace text
