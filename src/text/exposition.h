// A writer of the Prometheus text exposition format 0.0.4: metric families
// with their HELP and TYPE lines, each family's samples together.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace text {

/// The header block of an answer in the format.
inline constexpr std::string_view kExpositionHeader =
    "Content-Type: text/plain; version=0.0.4; charset=utf-8\r\n\r\n";

/// `value` as a label value between quotes: backslash, double quote and line
/// feed escaped as the format asks (\\ \" \n), and every byte that is not
/// part of well-formed UTF-8 replaced by U+FFFD (a scraper rejects the whole
/// answer for one such byte). Quotes not included.
std::string label_value(std::string_view value);

/// One label: name and value (unescaped).
using Label = std::pair<std::string_view, std::string_view>;

/// One metric family being written: its HELP and TYPE lines come first,
/// then add() appends samples. Values that are not finite numbers are left
/// out.
class MetricFamily {
 public:
  /// `name` and `help` as written (help without line feeds or backslashes);
  /// `type` is "gauge", "counter", ...
  MetricFamily(std::string* out, std::string_view name, std::string_view help,
               std::string_view type);

  /// Appends `NAME{L1="V1",...} VALUE`; nothing when `value` is not finite.
  void add(const std::vector<Label>& labels, double value);

 private:
  std::string* out_;
  std::string name_;
};

/// `value` as the format writes a number: the shortest text that reads back
/// as the same double ("3", "0.25", "1e+21"). `value` must be finite.
std::string sample_value(double value);

}  // namespace text
