#include "text/exposition.h"

#include <charconv>
#include <cmath>

namespace text {

namespace {

// The length of the well-formed UTF-8 sequence at the start of `text`, or 0
// when it does not start with one (overlong forms, surrogates and code points
// above U+10FFFF included).
std::size_t utf8_length(std::string_view text) {
  const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

}  // namespace

std::string label_value(std::string_view value) {
  std::string escaped;
  escaped.reserve(value.size());
  while (!value.empty()) {
    const std::size_t length = utf8_length(value);
    if (length == 0) {
      escaped += "\xEF\xBF\xBD";
      value.remove_prefix(1);
      continue;
    }
    if (length == 1 && value[0] == '\\') {
      escaped += "\\\\";
    } else if (length == 1 && value[0] == '"') {
      escaped += "\\\"";
    } else if (length == 1 && value[0] == '\n') {
      escaped += "\\n";
    } else {
      escaped.append(value.substr(0, length));
    }
    value.remove_prefix(length);
  }
  return escaped;
}

std::string sample_value(double value) {
  char buffer[32];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  if (error != std::errc()) return "0";
  return std::string(buffer, end);
}

MetricFamily::MetricFamily(std::string* out, std::string_view name, std::string_view help,
                           std::string_view type)
    : out_(out), name_(name) {
  out_->append("# HELP ").append(name).append(" ").append(help).append("\n");
  out_->append("# TYPE ").append(name).append(" ").append(type).append("\n");
}

void MetricFamily::add(const std::vector<Label>& labels, double value) {
  if (!std::isfinite(value)) return;
  out_->append(name_);
  if (!labels.empty()) {
    char separator = '{';
    for (const Label& label : labels) {
      out_->push_back(separator);
      out_->append(label.first).append("=\"").append(label_value(label.second)).append("\"");
      separator = ',';
    }
    out_->push_back('}');
  }
  out_->append(" ").append(sample_value(value)).append("\n");
}

}  // namespace text
