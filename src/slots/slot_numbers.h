// The numbers of each slot, read the way the page reads them (normSlot and
// tokenCounts in assets/page/slot_math.js), from a server's /slots answer or
// a session's slots.json, for the metrics call.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace slots {

/// One slot. A count is NaN where the page would compute no number (a member
/// of another type), so the metric writer leaves it out.
struct SlotNumbers {
  std::string id;  ///< the slot's `id` as written (a number) or its text; its index when absent
  bool processing = false;
  double n_ctx = 0;
  double used = 0;           ///< what the page's context bar shows
  double prompt = 0;         ///< the prompt's tokens
  double cached = 0;         ///< of those, the ones taken from the cache
  double decoded = 0;        ///< tokens generated for the current task
  std::optional<double> tg;  ///< generation speed, only when the source sends one
  std::optional<double> pp;  ///< prompt speed, likewise
};

/// Reads the slots of `json`: an array of slot objects (a server's /slots),
/// or an object whose "slots" member is one (a session's slots.json). Flat
/// members (tg, pp, n_past, n_decoded) and the server's own (timings,
/// next_token[0].n_decoded, n_prompt_tokens_cache) are read as the page does.
/// Elements that are not objects are skipped. False when the text is not
/// JSON or holds no slots array.
bool read_slot_numbers(std::string_view json, std::vector<SlotNumbers>* slots);

}  // namespace slots
