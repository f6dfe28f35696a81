// A strict, bounded reader of JSON text, for answers whose structure matters
// (a list of objects), where the scanning field reader would be fooled by the
// same member name at another depth.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace text {

/// A cursor over one JSON text. Every read returns false on text that is not
/// JSON (or a value inside more than kMaxDepth containers), and the cursor
/// stays failed.
class JsonReader {
 public:
  static constexpr int kMaxDepth = 64;

  explicit JsonReader(std::string_view text) : text_(text) {}

  /// The kind of the next value: one of '{', '[', '"', 'n' (number), 't',
  /// 'f', 'u' (null), or 0 at the end of the text or after a failure.
  char next_kind();

  /// Reads a string value, escapes decoded (\uXXXX into UTF-8, surrogate
  /// pairs joined, a lone surrogate as U+FFFD). Keeps at most `limit` bytes
  /// and sets `*cut` (when not null) if more were there.
  bool read_string(std::string* out, std::size_t limit = std::string::npos, bool* cut = nullptr);

  /// Reads `true` or `false`.
  bool read_bool(bool* out);

  /// Reads a number and gives its text exactly as written (a valid JSON
  /// number, so it can be written back unchanged).
  bool read_number(std::string_view* literal);

  /// Skips one value of any kind.
  bool skip_value();

  /// Reads an object: `member` is called with each member's name while the
  /// cursor stands at its value, and must read or skip that value (returning
  /// false stops, as a failure). Names longer than 256 bytes come cut.
  bool read_object(const std::function<bool(std::string_view name)>& member);

  /// Reads an array: `element` is called at each element and must read or
  /// skip it.
  bool read_array(const std::function<bool()>& element);

  /// True when only white space is left (and nothing failed).
  bool at_end();

  bool failed() const { return failed_; }

 private:
  bool fail();
  void skip_space();
  bool literal(std::string_view word);
  bool number();
  bool hex4(unsigned* value);
  // The object ('{') or array ('[') at the cursor: `item` is called at each
  // value, with the member's name in an object.
  bool read_items(char open, const std::function<bool(std::string_view)>& item);

  std::string_view text_;
  std::size_t pos_ = 0;
  int depth_ = 0;
  bool failed_ = false;
};

}  // namespace text
