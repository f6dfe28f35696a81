// The model list of a llama.cpp router (GET /models), read for the models
// call: only what the page shows, each model's id and state.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace slots {

/// One model of the list.
struct ModelEntry {
  std::string id;
  /// The state the router reports ("loaded", "unloaded", "loading", ...);
  /// empty when the entry has none (a server that is not a router).
  std::string status;
};

/// At most this many models are read; the rest of the list is ignored.
inline constexpr std::size_t kMaxModels = 1024;
/// Ids longer than this (in bytes, decoded) are skipped, never cut: a cut id
/// would name another model.
inline constexpr std::size_t kMaxModelId = 1024;

/// Reads a JSON object holding a "data" array of model objects, each with a
/// string "id" and a "status" that is an object with a string "value" (or a
/// string itself). Elements without a usable id (a non-empty string without
/// control bytes) are skipped; every other
/// member (start arguments, paths, presets) is read past and dropped. False
/// when the text is not JSON or has no "data" array.
bool read_model_list(std::string_view json, std::vector<ModelEntry>* models);

/// The message of a JSON object's "error" member: the member itself when a
/// string, else its "message" string (llama.cpp's error objects). False when
/// there is none.
bool read_error_message(std::string_view json, std::string* message);

}  // namespace slots
