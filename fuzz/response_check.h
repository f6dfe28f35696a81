// Checks shared by the fuzz targets: the shape of a CGI response and the
// well-formedness of the JSON the program builds itself.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace fuzz {

/// Stops the run with a message; libFuzzer then saves the input that led here.
[[noreturn]] inline void fail(const char* what, std::string_view detail = {}) {
  std::fprintf(stderr, "invariant broken: %s\n", what);
  if (!detail.empty()) {
    std::fprintf(stderr, "---\n%.*s\n---\n",
                 static_cast<int>(std::min<std::size_t>(detail.size(), 2000)), detail.data());
  }
  std::abort();
}

inline void check(bool ok, const char* what, std::string_view detail = {}) {
  if (!ok) fail(what, detail);
}

/// A strict JSON reader that only says whether `text` is one JSON value (with
/// optional white space around it). Bytes from 128 up are accepted inside
/// strings as they are; the program passes them through unchanged.
class JsonShape {
 public:
  static bool valid(std::string_view text) {
    JsonShape reader(text);
    reader.space();
    if (!reader.value(0)) return false;
    reader.space();
    return reader.pos_ == text.size();
  }

  /// True when `text` is exactly one JSON string, quotes included.
  static bool valid_string(std::string_view text) {
    JsonShape reader(text);
    return reader.string() && reader.pos_ == text.size();
  }

 private:
  explicit JsonShape(std::string_view text) : text_(text) {}

  static constexpr int kMaxDepth = 64;

  bool at_end() const { return pos_ >= text_.size(); }
  char peek() const { return at_end() ? '\0' : text_[pos_]; }

  void space() {
    while (!at_end() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r')) {
      ++pos_;
    }
  }

  bool literal(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    return true;
  }

  bool digits() {
    const std::size_t start = pos_;
    while (!at_end() && peek() >= '0' && peek() <= '9') ++pos_;
    return pos_ > start;
  }

  bool number() {
    if (peek() == '-') ++pos_;
    if (peek() == '0') {
      ++pos_;
    } else if (!digits()) {
      return false;
    }
    if (peek() == '.') {
      ++pos_;
      if (!digits()) return false;
    }
    if (peek() == 'e' || peek() == 'E') {
      ++pos_;
      if (peek() == '+' || peek() == '-') ++pos_;
      if (!digits()) return false;
    }
    return true;
  }

  bool string() {
    if (peek() != '"') return false;
    ++pos_;
    while (!at_end()) {
      const unsigned char c = static_cast<unsigned char>(text_[pos_++]);
      if (c == '"') return true;
      if (c < 0x20) return false;
      if (c != '\\') continue;
      if (at_end()) return false;
      const char e = text_[pos_++];
      if (e == 'u') {
        for (int i = 0; i < 4; ++i) {
          if (at_end() || !std::isxdigit(static_cast<unsigned char>(text_[pos_]))) return false;
          ++pos_;
        }
      } else if (std::string_view("\"\\/bfnrt").find(e) == std::string_view::npos) {
        return false;
      }
    }
    return false;
  }

  bool value(int depth) {
    if (depth > kMaxDepth) return false;
    switch (peek()) {
      case '{': {
        ++pos_;
        space();
        if (peek() == '}') return ++pos_, true;
        for (;;) {
          space();
          if (!string()) return false;
          space();
          if (peek() != ':') return false;
          ++pos_;
          space();
          if (!value(depth + 1)) return false;
          space();
          if (peek() == '}') return ++pos_, true;
          if (peek() != ',') return false;
          ++pos_;
        }
      }
      case '[': {
        ++pos_;
        space();
        if (peek() == ']') return ++pos_, true;
        for (;;) {
          space();
          if (!value(depth + 1)) return false;
          space();
          if (peek() == ']') return ++pos_, true;
          if (peek() != ',') return false;
          ++pos_;
        }
      }
      case '"':
        return string();
      case 't':
        return literal("true");
      case 'f':
        return literal("false");
      case 'n':
        return literal("null");
      default:
        return number();
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
};

/// One CGI response split into its header lines and its body.
struct CgiResponse {
  std::string_view head;  ///< header lines, each ended by CR LF, without the empty line
  std::string_view body;
  std::string_view status;        ///< value of the Status line, empty when absent
  std::string_view content_type;  ///< value of the Content-Type line
};

/// Splits `out` and checks what every response must have: header lines of the
/// form "Name: value" ended by CR LF with no other CR or LF in them, an empty
/// line after them, and a Content-Type line.
inline CgiResponse split_response(std::string_view out) {
  CgiResponse r;
  const std::size_t end = out.find("\r\n\r\n");
  check(end != std::string_view::npos, "header block not ended by an empty line", out);
  r.head = out.substr(0, end + 2);
  r.body = out.substr(end + 4);
  std::string_view rest = r.head;
  while (!rest.empty()) {
    const std::size_t eol = rest.find("\r\n");
    check(eol != std::string_view::npos, "header line without CR LF", out);
    const std::string_view line = rest.substr(0, eol);
    check(line.find_first_of("\r\n") == std::string_view::npos, "bare CR or LF in a header line",
          out);
    const std::size_t colon = line.find(": ");
    check(colon != std::string_view::npos && colon > 0, "header line without a name", out);
    const std::string_view name = line.substr(0, colon);
    if (name == "Status") r.status = line.substr(colon + 2);
    if (name == "Content-Type") r.content_type = line.substr(colon + 2);
    rest.remove_prefix(eol + 2);
  }
  check(!r.content_type.empty(), "no Content-Type line", out);
  return r;
}

}  // namespace fuzz
