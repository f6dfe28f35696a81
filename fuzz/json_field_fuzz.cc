// Fuzzes the JSON field reader over a window of a larger text.
//
// Input: byte 0 chooses the capacity, byte 1 how far the window starts after
// the text's start, byte 2 how far it ends before the text's end; then the
// member name up to the first line feed; the rest is the text.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "response_check.h"
#include "text/json_field.h"

namespace {

struct Result {
  bool found = false;
  std::string value;
  bool operator==(const Result&) const = default;
};

// Reads from a heap copy of exactly the text's bytes, with no terminator
// after it, so a read past the text's end is caught by the address checker.
Result read_field(std::string_view text, std::size_t begin, std::size_t end, std::string_view name,
                  std::size_t capacity) {
  std::unique_ptr<char[]> copy(new char[text.size() + 1]);
  std::memcpy(copy.get(), text.data(), text.size());
  Result r;
  r.value = "stale";
  r.found = text::json_extract_str_after(std::string_view(copy.get(), text.size()), begin, end,
                                         name, capacity, &r.value);
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const std::size_t capacity = data[0] == 255 ? 768 : std::size_t{data[0]} + 1;
  std::string_view rest(reinterpret_cast<const char*>(data + 3), size - 3);
  const std::size_t eol = rest.find('\n');
  if (eol == std::string_view::npos) return 0;
  const std::string_view name = rest.substr(0, eol);
  const std::string_view text = rest.substr(eol + 1);
  const std::size_t begin = std::min<std::size_t>(data[1], text.size());
  const std::size_t end = text.size() - std::min<std::size_t>(data[2], text.size());

  const Result r = read_field(text, begin, end, name, capacity);
  fuzz::check(r.found || r.value.empty(), "not found but a value was stored");
  fuzz::check(r.value.size() <= capacity - 1, "value longer than the capacity allows");
  fuzz::check(begin < end || !r.found, "found something in an empty window");
  if (r.found) {
    fuzz::check(r.value.size() <= end - begin, "value longer than its window");
  }

  // Nothing after the window but the one byte that may complete a trailing
  // escape counts: cutting the text there changes nothing.
  if (end + 1 < text.size()) {
    const Result cut = read_field(text.substr(0, end + 1), begin, end, name, capacity);
    fuzz::check(cut == r, "text after the window changed the result");
  }
  // Nor does anything before the window.
  if (begin > 0) {
    std::string blanked(text);
    std::memset(blanked.data(), '{', begin);
    const Result moved = read_field(blanked, begin, end, name, capacity);
    fuzz::check(moved == r, "text before the window changed the result");
  }
  return 0;
}
