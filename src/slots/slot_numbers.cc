#include "slots/slot_numbers.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "text/json_reader.h"

namespace slots {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A member's value as the page's Number() sees it after its own tests: a
// number, or absent (null or missing). Anything else is NaN.
struct Value {
  bool present = false;  ///< neither missing nor null
  bool is_number = false;
  double number = kNaN;  ///< the number; NaN for another type
  bool truthy = false;   ///< what JavaScript's `!!value` gives
};

bool read_value(text::JsonReader& reader, Value* value) {
  switch (reader.next_kind()) {
    case 'n': {
      std::string_view literal;
      if (!reader.read_number(&literal)) return false;
      value->present = true;
      value->is_number = true;
      value->number = std::strtod(std::string(literal).c_str(), nullptr);
      value->truthy = value->number != 0;
      return true;
    }
    case 't':
    case 'f': {
      bool flag = false;
      if (!reader.read_bool(&flag)) return false;
      value->present = true;
      value->number = flag ? 1 : 0;
      value->truthy = flag;
      return true;
    }
    case 'u':
      return reader.skip_value();
    case '"': {
      std::string text;
      if (!reader.read_string(&text, 64)) return false;
      value->present = true;
      value->truthy = !text.empty();
      return true;
    }
    default:
      value->present = true;
      value->truthy = true;
      return reader.skip_value();
  }
}

// The members of one slot object that the page reads.
struct RawSlot {
  std::string id;
  Value is_processing, n_ctx, tg, pp, n_prompt_tokens, n_past, n_prompt_tokens_processed, n_decoded,
      n_prompt_tokens_cache, timings_tg, timings_pp, next_decoded;
  bool has_id = false;
  bool timings = false;  ///< a truthy `timings`
};

// Reads `timings` (an object with predicted_per_second and prompt_per_second)
// and next_token's first element's n_decoded.
bool read_timings(text::JsonReader& reader, RawSlot* slot) {
  if (reader.next_kind() != '{') {
    Value ignored;
    if (!read_value(reader, &ignored)) return false;
    slot->timings = ignored.truthy;
    return true;
  }
  slot->timings = true;
  return reader.read_object([&](std::string_view name) {
    if (name == "predicted_per_second") return read_value(reader, &slot->timings_tg);
    if (name == "prompt_per_second") return read_value(reader, &slot->timings_pp);
    return reader.skip_value();
  });
}

bool read_next_token(text::JsonReader& reader, RawSlot* slot) {
  if (reader.next_kind() != '[') return reader.skip_value();
  bool first = true;
  return reader.read_array([&] {
    const bool is_first = first;
    first = false;
    if (!is_first || reader.next_kind() != '{') return reader.skip_value();
    return reader.read_object([&](std::string_view name) {
      if (name == "n_decoded") return read_value(reader, &slot->next_decoded);
      return reader.skip_value();
    });
  });
}

bool read_id(text::JsonReader& reader, RawSlot* slot) {
  const char kind = reader.next_kind();
  if (kind == 'n') {
    std::string_view literal;
    if (!reader.read_number(&literal)) return false;
    slot->id = std::string(literal.substr(0, 64));
    slot->has_id = true;
    return true;
  }
  if (kind == '"') {
    if (!reader.read_string(&slot->id, 160)) return false;
    slot->has_id = true;
    return true;
  }
  return reader.skip_value();
}

bool read_raw_slot(text::JsonReader& reader, RawSlot* slot) {
  // The first member of a name counts, as the page's object would keep the
  // last: slots never repeat names, so either is right; the first is cheaper.
  return reader.read_object([&](std::string_view name) {
    if (name == "id" && !slot->has_id) return read_id(reader, slot);
    if (name == "is_processing") return read_value(reader, &slot->is_processing);
    if (name == "n_ctx") return read_value(reader, &slot->n_ctx);
    if (name == "tg") return read_value(reader, &slot->tg);
    if (name == "pp") return read_value(reader, &slot->pp);
    if (name == "n_prompt_tokens") return read_value(reader, &slot->n_prompt_tokens);
    if (name == "n_past") return read_value(reader, &slot->n_past);
    if (name == "n_prompt_tokens_processed") {
      return read_value(reader, &slot->n_prompt_tokens_processed);
    }
    if (name == "n_decoded") return read_value(reader, &slot->n_decoded);
    if (name == "n_prompt_tokens_cache") return read_value(reader, &slot->n_prompt_tokens_cache);
    if (name == "timings") return read_timings(reader, slot);
    if (name == "next_token") return read_next_token(reader, slot);
    return reader.skip_value();
  });
}

// JavaScript's Math.max(0, value): NaN stays NaN.
double at_least_zero(double value) {
  return std::isnan(value) ? value : std::max(0.0, value);
}

// `present(v) ? v : fallback`, as normSlot writes it.
double either(const Value& value, double fallback) {
  return value.present ? value.number : fallback;
}

SlotNumbers numbers_of(const RawSlot& raw, std::size_t index) {
  SlotNumbers slot;
  slot.id = raw.has_id ? raw.id : std::to_string(index);
  slot.processing = raw.is_processing.truthy;
  slot.n_ctx = raw.n_ctx.truthy ? raw.n_ctx.number : 0;
  const double n_prompt = either(raw.n_prompt_tokens, raw.n_past.truthy ? raw.n_past.number : 0);
  const double processed = either(raw.n_prompt_tokens_processed, 0);
  slot.decoded = either(raw.n_decoded, raw.next_decoded.truthy ? raw.next_decoded.number : 0);
  if (raw.tg.present) {
    slot.tg = raw.tg.number;
  } else if (raw.timings && raw.timings_tg.truthy) {
    slot.tg = raw.timings_tg.number;
  }
  if (raw.pp.present) {
    slot.pp = raw.pp.number;
  } else if (raw.timings && raw.timings_pp.truthy) {
    slot.pp = raw.timings_pp.number;
  }
  // Servers that report the cached part of the prompt count the generated
  // tokens in n_prompt_tokens as well.
  if (raw.n_prompt_tokens_cache.is_number) {
    slot.prompt = at_least_zero(n_prompt - slot.decoded);
    slot.cached = raw.n_prompt_tokens_cache.number;
    slot.used = n_prompt;
  } else {
    slot.prompt = n_prompt;
    slot.cached = at_least_zero(n_prompt - processed);
    slot.used = n_prompt + slot.decoded;
  }
  return slot;
}

}  // namespace

bool read_slot_numbers(std::string_view json, std::vector<SlotNumbers>* slots) {
  slots->clear();
  text::JsonReader reader(json);
  bool found = false;
  const auto read_slots = [&] {
    found = true;
    std::size_t index = 0;
    return reader.read_array([&] {
      if (reader.next_kind() != '{') return reader.skip_value();
      RawSlot raw;
      if (!read_raw_slot(reader, &raw)) return false;
      slots->push_back(numbers_of(raw, index++));
      return true;
    });
  };
  bool ok = false;
  if (reader.next_kind() == '[') {
    ok = read_slots();
  } else if (reader.next_kind() == '{') {
    ok = reader.read_object([&](std::string_view name) {
      if (name == "slots" && !found && reader.next_kind() == '[') return read_slots();
      return reader.skip_value();
    });
  }
  if (!ok || !found || !reader.at_end()) {
    slots->clear();
    return false;
  }
  return true;
}

}  // namespace slots
