#include "slots/props_fields.h"

#include "text/json_reader.h"

namespace slots {

namespace {

constexpr std::size_t kMaxNumberText = 32;

bool has_control_byte(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  }
  return false;
}

// The value at the cursor into `field` when it is a boolean; skipped otherwise.
bool take_bool(text::JsonReader& json, std::optional<bool>* field) {
  if (json.next_kind() != 't' && json.next_kind() != 'f') return json.skip_value();
  bool value = false;
  if (!json.read_bool(&value)) return false;
  *field = value;
  return true;
}

bool take_string(text::JsonReader& json, std::optional<std::string>* field) {
  if (json.next_kind() != '"') return json.skip_value();
  std::string value;
  bool cut = false;
  if (!json.read_string(&value, kMaxPropsString, &cut)) return false;
  if (!cut && !has_control_byte(value)) *field = std::move(value);
  return true;
}

bool take_number(text::JsonReader& json, std::string* field) {
  if (json.next_kind() != 'n') return json.skip_value();
  std::string_view literal;
  if (!json.read_number(&literal)) return false;
  if (literal.size() <= kMaxNumberText) *field = std::string(literal);
  return true;
}

void write_member(text::Output& out, bool* first, std::string_view name) {
  out.raw(*first ? "\"" : ",\"");
  out.raw(name);
  out.raw("\":");
  *first = false;
}

}  // namespace

bool read_props(std::string_view text, PropsFields* props) {
  *props = PropsFields();
  text::JsonReader json(text);
  bool ok = false;
  if (json.next_kind() != '{') {
    ok = json.skip_value();
  } else {
    // Each name is read once: a repeated member cannot replace the first.
    bool seen[6] = {};
    auto first = [&seen](int i) { return !seen[i] && (seen[i] = true); };
    ok = json.read_object([&](std::string_view name) {
      if (name == "is_sleeping" && first(0)) return take_bool(json, &props->is_sleeping);
      if (name == "total_slots" && first(1)) return take_number(json, &props->total_slots);
      if (name == "model_alias" && first(2)) return take_string(json, &props->model_alias);
      if (name == "build_info" && first(3)) return take_string(json, &props->build_info);
      if (name == "endpoint_metrics" && first(4)) {
        return take_bool(json, &props->endpoint_metrics);
      }
      if (name == "role" && first(5)) return take_string(json, &props->role);
      return json.skip_value();
    });
  }
  if (!ok || !json.at_end()) {
    *props = PropsFields();
    return false;
  }
  return true;
}

void write_props(text::Output& out, const PropsFields& props) {
  bool first = true;
  out.raw("{");
  if (props.is_sleeping) {
    write_member(out, &first, "is_sleeping");
    out.raw(*props.is_sleeping ? "true" : "false");
  }
  if (!props.total_slots.empty()) {
    write_member(out, &first, "total_slots");
    out.raw(props.total_slots);
  }
  if (props.model_alias) {
    write_member(out, &first, "model_alias");
    out.json_str(*props.model_alias);
  }
  if (props.build_info) {
    write_member(out, &first, "build_info");
    out.json_str(*props.build_info);
  }
  if (props.endpoint_metrics) {
    write_member(out, &first, "endpoint_metrics");
    out.raw(*props.endpoint_metrics ? "true" : "false");
  }
  if (props.role) {
    write_member(out, &first, "role");
    out.json_str(*props.role);
  }
  out.raw("}");
}

}  // namespace slots
