#include "slots/model_list.h"

#include "text/json_reader.h"

namespace slots {

namespace {

constexpr std::size_t kMaxStatus = 64;
constexpr std::size_t kMaxMessage = 1024;

// A string member's value, or the value skipped when it is not a string.
// `usable` (when not null) tells whether a whole string was read.
bool read_string_or_skip(text::JsonReader& json, std::string* out, std::size_t limit,
                         bool* usable = nullptr) {
  if (json.next_kind() != '"') {
    if (usable != nullptr) *usable = false;
    return json.skip_value();
  }
  bool cut = false;
  if (!json.read_string(out, limit, &cut)) return false;
  if (usable != nullptr) *usable = !cut;
  return true;
}

bool read_model(text::JsonReader& json, std::vector<ModelEntry>* models) {
  if (json.next_kind() != '{') return json.skip_value();
  ModelEntry entry;
  bool has_id = false;
  const bool ok = json.read_object([&](std::string_view name) {
    if (name == "id") return read_string_or_skip(json, &entry.id, kMaxModelId, &has_id);
    if (name != "status") return json.skip_value();
    if (json.next_kind() == '"') return read_string_or_skip(json, &entry.status, kMaxStatus);
    if (json.next_kind() != '{') return json.skip_value();
    return json.read_object([&](std::string_view member) {
      if (member != "value") return json.skip_value();
      return read_string_or_skip(json, &entry.status, kMaxStatus);
    });
  });
  // An id with control bytes could not be written back as it is.
  for (char c : entry.id) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) has_id = false;
  }
  if (ok && has_id && !entry.id.empty() && models->size() < kMaxModels) {
    models->push_back(std::move(entry));
  }
  return ok;
}

}  // namespace

bool read_model_list(std::string_view text, std::vector<ModelEntry>* models) {
  models->clear();
  text::JsonReader json(text);
  if (json.next_kind() != '{') return false;
  bool has_data = false;
  const bool ok = json.read_object([&](std::string_view name) {
    if (name != "data" || has_data || json.next_kind() != '[') return json.skip_value();
    has_data = true;
    return json.read_array([&]() { return read_model(json, models); });
  });
  if (!ok || !has_data || !json.at_end()) {
    models->clear();
    return false;
  }
  return true;
}

bool read_error_message(std::string_view text, std::string* message) {
  message->clear();
  text::JsonReader json(text);
  if (json.next_kind() != '{') return false;
  bool found = false;
  json.read_object([&](std::string_view name) {
    if (name != "error" || found) return json.skip_value();
    if (json.next_kind() == '"') {
      found = true;
      return json.read_string(message, kMaxMessage);
    }
    if (json.next_kind() != '{') return json.skip_value();
    return json.read_object([&](std::string_view member) {
      if (member != "message" || found || json.next_kind() != '"') return json.skip_value();
      found = true;
      return json.read_string(message, kMaxMessage);
    });
  });
  // A message read before the text broke off still tells what went wrong.
  return found && !message->empty();
}

}  // namespace slots
