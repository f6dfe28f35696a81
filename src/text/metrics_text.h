// Samples read out of the Prometheus text exposition format (what a
// llama.cpp server started with --metrics answers on GET /metrics).
#pragma once

#include <string>
#include <string_view>

namespace text {

/// Finds the first sample line of the metric `name` in `text` and reads its
/// value. A sample line is "NAME VALUE [TIMESTAMP]" or "NAME{LABELS} VALUE
/// [TIMESTAMP]" (blanks are spaces or tabs, a line may end in CR LF and start
/// with blanks); lines whose first non-blank is '#' are comments and skipped,
/// lines of other metrics are ignored. False when no line names the metric,
/// or when the first one's value is not a finite number (NaN, +Inf, a cut or
/// malformed token): such a value is left out, never guessed.
bool find_metric(std::string_view text, std::string_view name, double* value);

/// `value` as a JSON number: the shortest text that reads back as the same
/// double ("3", "0.25", "1e+21"). `value` must be finite.
std::string json_number(double value);

}  // namespace text
