// Fuzzes the query-string lookup with its decoding.
//
// Input: one byte choosing the output capacity, the parameter name up to the
// first line feed, then the query text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "percent_encode.h"
#include "response_check.h"
#include "text/query.h"

namespace {

using testing_support::percent_encode;

// The capacities the program uses, and the smallest ones.
constexpr std::size_t kCapacities[] = {1, 2, 4, 32, 64, 128, 256, 512, 1024};
constexpr std::size_t kRawLimit = 1023;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::size_t capacity = kCapacities[data[0] % std::size(kCapacities)];
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::size_t eol = rest.find('\n');
  if (eol == std::string_view::npos) return 0;
  const std::string name(rest.substr(0, eol));
  // An exact-size copy, so that any read past the query's end is caught.
  const std::string query(rest.substr(eol + 1));

  std::string value = "stale";
  const bool found = text::get_query_val(query, name, capacity, &value);

  fuzz::check(found || value.empty(), "not found but a value was stored");
  fuzz::check(value.size() <= capacity - 1, "value longer than the capacity allows");
  fuzz::check(value.find('\0') == std::string::npos, "value holds a NUL byte");
  fuzz::check(!found || (!name.empty() && !query.empty()), "found in an empty query or name");
  if (found) {
    // The name stands at the start of a segment, followed by '='.
    const std::string key = name + "=";
    fuzz::check(
        query.compare(0, key.size(), key) == 0 || query.find("&" + key) != std::string::npos,
        "found a name that no segment starts with");
    // Decoding never produces more bytes than the raw value had.
    fuzz::check(value.size() <= kRawLimit, "value longer than the raw limit");
  }

  // An empty segment in front never matches and changes nothing.
  std::string shifted = "stale";
  const bool found_shifted = text::get_query_val("&" + query, name, capacity, &shifted);
  fuzz::check(found_shifted == found && shifted == value,
              "a leading empty segment changed the result");

  // What was decoded comes back unchanged when sent fully escaped, as long as
  // both limits leave room for it.
  if (!name.empty() && name.find('&') == std::string::npos && value.size() * 3 <= kRawLimit) {
    for (bool plus : {false, true}) {
      std::string again;
      const bool found_again =
          text::get_query_val(name + "=" + percent_encode(value, plus), name, capacity, &again);
      fuzz::check(found_again && again == value, "an escaped value did not decode to itself");
    }
  }

  // hex_val agrees with the digit's place in both alphabets.
  const int digit = text::hex_val(static_cast<char>(data[0]));
  const std::string_view lower = "0123456789abcdef";
  const std::string_view upper = "0123456789ABCDEF";
  const std::size_t place = lower.find(static_cast<char>(data[0])) != std::string_view::npos
                                ? lower.find(static_cast<char>(data[0]))
                                : upper.find(static_cast<char>(data[0]));
  fuzz::check(place == std::string_view::npos ? digit == -1 : digit == static_cast<int>(place),
              "hex_val disagrees with the digit alphabet");
  return 0;
}
