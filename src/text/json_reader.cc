#include "text/json_reader.h"

namespace text {

namespace {

void append_utf8(std::string* out, unsigned code) {
  if (code < 0x80) {
    out->push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code >> 6)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (code >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

constexpr std::size_t kNameLimit = 256;

}  // namespace

bool JsonReader::fail() {
  failed_ = true;
  return false;
}

void JsonReader::skip_space() {
  while (pos_ < text_.size()) {
    const char c = text_[pos_];
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r') return;
    ++pos_;
  }
}

char JsonReader::next_kind() {
  if (failed_) return 0;
  skip_space();
  if (pos_ >= text_.size()) return 0;
  const char c = text_[pos_];
  switch (c) {
    case '{':
    case '[':
    case '"':
    case 't':
    case 'f':
      return c;
    case 'n':
      return 'u';
    default:
      return (c == '-' || (c >= '0' && c <= '9')) ? 'n' : 0;
  }
}

bool JsonReader::literal(std::string_view word) {
  if (text_.substr(pos_, word.size()) != word) return fail();
  pos_ += word.size();
  return true;
}

bool JsonReader::number() {
  const std::size_t start = pos_;
  auto digits = [this]() {
    const std::size_t from = pos_;
    while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') ++pos_;
    return pos_ - from;
  };
  if (pos_ < text_.size() && text_[pos_] == '-') ++pos_;
  if (pos_ < text_.size() && text_[pos_] == '0') {
    ++pos_;
  } else if (digits() == 0) {
    return fail();
  }
  if (pos_ < text_.size() && text_[pos_] == '.') {
    ++pos_;
    if (digits() == 0) return fail();
  }
  if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
    ++pos_;
    if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) ++pos_;
    if (digits() == 0) return fail();
  }
  return pos_ > start;
}

bool JsonReader::hex4(unsigned* value) {
  if (pos_ + 4 > text_.size()) return fail();
  unsigned v = 0;
  for (int i = 0; i < 4; ++i) {
    const char c = text_[pos_++];
    v <<= 4;
    if (c >= '0' && c <= '9') {
      v |= static_cast<unsigned>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      v |= static_cast<unsigned>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      v |= static_cast<unsigned>(c - 'A' + 10);
    } else {
      return fail();
    }
  }
  *value = v;
  return true;
}

bool JsonReader::read_string(std::string* out, std::size_t limit, bool* cut) {
  std::string scratch;
  std::string* into = out != nullptr ? out : &scratch;
  into->clear();
  if (cut != nullptr) *cut = false;
  if (next_kind() != '"') return fail();
  ++pos_;
  while (true) {
    if (pos_ >= text_.size()) return fail();
    const unsigned char c = static_cast<unsigned char>(text_[pos_++]);
    if (c == '"') break;
    if (c < 0x20) return fail();
    if (c != '\\') {
      into->push_back(static_cast<char>(c));
      continue;
    }
    if (pos_ >= text_.size()) return fail();
    const char e = text_[pos_++];
    switch (e) {
      case '"':
      case '\\':
      case '/':
        into->push_back(e);
        break;
      case 'b':
        into->push_back('\b');
        break;
      case 'f':
        into->push_back('\f');
        break;
      case 'n':
        into->push_back('\n');
        break;
      case 'r':
        into->push_back('\r');
        break;
      case 't':
        into->push_back('\t');
        break;
      case 'u': {
        unsigned code = 0;
        if (!hex4(&code)) return false;
        if (code >= 0xD800 && code < 0xDC00 && text_.substr(pos_, 2) == "\\u") {
          const std::size_t mark = pos_;
          pos_ += 2;
          unsigned low = 0;
          if (!hex4(&low)) return false;
          if (low >= 0xDC00 && low < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
          } else {
            pos_ = mark;  // not a pair: the second escape is read on its own
          }
        }
        if (code >= 0xD800 && code < 0xE000) code = 0xFFFD;
        append_utf8(into, code);
        break;
      }
      default:
        return fail();
    }
  }
  if (into->size() > limit) {
    // Cut before a character that does not fit whole.
    std::size_t keep = limit;
    while (keep > 0 && (static_cast<unsigned char>((*into)[keep]) & 0xC0) == 0x80) --keep;
    into->resize(keep);
    if (cut != nullptr) *cut = true;
  }
  return true;
}

bool JsonReader::read_items(char open, const std::function<bool(std::string_view)>& item) {
  if (next_kind() != open || depth_ > kMaxDepth) return fail();
  const char close = open == '{' ? '}' : ']';
  ++pos_;
  ++depth_;
  bool ok = true;
  skip_space();
  if (pos_ < text_.size() && text_[pos_] == close) {
    ++pos_;
  } else {
    std::string name;
    for (;;) {
      if (open == '{') {
        if (!read_string(&name, kNameLimit)) {
          ok = false;
          break;
        }
        skip_space();
        if (pos_ >= text_.size() || text_[pos_] != ':') {
          ok = fail();
          break;
        }
        ++pos_;
      }
      if (!item(name) || failed_) {
        ok = fail();
        break;
      }
      skip_space();
      if (pos_ < text_.size() && text_[pos_] == close) {
        ++pos_;
        break;
      }
      if (pos_ >= text_.size() || text_[pos_] != ',') {
        ok = fail();
        break;
      }
      ++pos_;
    }
  }
  --depth_;
  return ok;
}

bool JsonReader::read_bool(bool* out) {
  const char kind = next_kind();
  if (kind != 't' && kind != 'f') return fail();
  *out = kind == 't';
  return literal(*out ? "true" : "false");
}

bool JsonReader::read_number(std::string_view* literal) {
  if (next_kind() != 'n') return fail();
  const std::size_t start = pos_;
  if (!number()) return false;
  *literal = text_.substr(start, pos_ - start);
  return true;
}

bool JsonReader::skip_value() {
  // Every value counts its enclosing containers, as the depth limit does.
  if (depth_ > kMaxDepth) return fail();
  const char kind = next_kind();
  switch (kind) {
    case '"':
      return read_string(nullptr);
    case 'n':
      return number();
    case 't':
      return literal("true");
    case 'f':
      return literal("false");
    case 'u':
      return literal("null");
    case '{':
    case '[':
      return read_items(kind, [this](std::string_view) { return skip_value(); });
    default:
      return fail();
  }
}

bool JsonReader::read_object(const std::function<bool(std::string_view name)>& member) {
  return read_items('{', member);
}

bool JsonReader::read_array(const std::function<bool()>& element) {
  return read_items('[', [&element](std::string_view) { return element(); });
}

bool JsonReader::at_end() {
  if (failed_) return false;
  skip_space();
  return pos_ == text_.size();
}

}  // namespace text
