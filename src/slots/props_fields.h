// What a llama.cpp server tells about itself on GET /props, read for the
// props call: only the fields the page watches. (/props, unlike /slots,
// neither wakes a sleeping server nor restarts its idle timer.)
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "text/output.h"

namespace slots {

/// The fields read, each absent unless the answer had it with its type.
struct PropsFields {
  std::optional<bool> is_sleeping;
  std::string total_slots;  ///< the number exactly as written; empty when absent
  std::optional<std::string> model_alias;
  std::optional<std::string> build_info;
  std::optional<bool> endpoint_metrics;
  std::optional<std::string> role;  ///< "router" on a router's own /props
};

/// Strings longer than this (in bytes, decoded) are left out, never cut: a
/// cut alias would name another model.
inline constexpr std::size_t kMaxPropsString = 1024;

/// Reads one JSON text. When it is an object, its own members (not those of
/// nested objects) named like a field and of that field's type are taken;
/// the first member of a name decides, and a string with control bytes or
/// longer than kMaxPropsString is left out, as is a number longer than 32
/// bytes. Any other JSON value gives no fields. False when the text is not
/// JSON.
bool read_props(std::string_view json, PropsFields* props);

/// Writes the fields found as a JSON object, in the order of PropsFields:
/// {"is_sleeping":..,"total_slots":..,"model_alias":..,"build_info":..,
/// "endpoint_metrics":..,"role":..}; {} when none was.
void write_props(text::Output& out, const PropsFields& props);

}  // namespace slots
