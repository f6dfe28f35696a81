// Fuzzes the strict JSON reader and the model list read through it.
//
// Input: the text of a router's answer to GET /models.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "response_check.h"
#include "slots/model_list.h"
#include "text/json_reader.h"
#include "text/output.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  // The reader accepts exactly the JSON that the independent checker does.
  text::JsonReader reader(text);
  const bool read = reader.skip_value() && reader.at_end();
  fuzz::check(read == fuzz::JsonShape::valid(text), "the reader and the checker disagree on", text);

  std::vector<slots::ModelEntry> models;
  const bool listed = slots::read_model_list(text, &models);
  fuzz::check(!listed || read, "a model list read from text that is not JSON");
  fuzz::check(listed || models.empty(), "models kept from text that is no list");
  fuzz::check(models.size() <= slots::kMaxModels, "more models than the limit");

  // What the models call writes of them is valid JSON, each id whole.
  std::string body = "[";
  for (const slots::ModelEntry& m : models) {
    fuzz::check(!m.id.empty() && m.id.size() <= slots::kMaxModelId, "an id out of bounds", m.id);
    for (char c : m.id) {
      fuzz::check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F, "a control byte in an id");
    }
    std::string id;
    text::Output out(&id);
    out.json_str(m.id);
    fuzz::check(fuzz::JsonShape::valid_string(id), "an id written as invalid JSON", id);
    text::JsonReader back(id);
    std::string decoded;
    fuzz::check(back.read_string(&decoded) && decoded == m.id, "an id that does not read back", id);
    body += (body.size() > 1 ? "," : "") + id;
  }
  fuzz::check(fuzz::JsonShape::valid(body + "]"), "an invalid model list written", body);

  std::string message;
  if (slots::read_error_message(text, &message)) fuzz::check(!message.empty(), "an empty message");
  return 0;
}
