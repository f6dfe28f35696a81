#include "slots/model_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using slots::ModelEntry;

// "id:status" for each entry read, or "not a list".
std::string read(const std::string& json) {
  std::vector<ModelEntry> models;
  if (!slots::read_model_list(json, &models)) return "not a list";
  std::string out;
  for (const ModelEntry& m : models) out += (out.empty() ? "" : " ") + m.id + ":" + m.status;
  return out;
}

TEST(ModelList, KeepsOnlyIdsAndStates) {
  const struct {
    std::string json;
    std::string read;
  } cases[] = {
      // A router's list, as llama-server sends it (start arguments, presets
      // and paths included).
      {R"({"data":[{"id":"a","status":{"value":"loaded","args":["/bin/llama-server","--model","/m/a.gguf"],"preset":"[a]\nmodel = /m/a.gguf\n"},"meta":{"n_ctx":2048}},{"id":"b","aliases":[],"status":{"value":"unloaded","args":[]}}],"object":"list"})",
       "a:loaded b:unloaded"},
      // A server that is no router: models without a state.
      {R"({"models":[{"name":"m"}],"object":"list","data":[{"id":"m.gguf","object":"model","meta":{"n_vocab":32000}}]})",
       "m.gguf:"},
      {R"( {"data":[]} )", ""},
      {R"({"data":[{"id":"x","status":"loaded"}]})", "x:loaded"},
      // Escapes are decoded, so the id names the model as the server does.
      {R"({"data":[{"id":"org\/m\u00e9:Q4 \"q\"","status":{"value":"loaded"}}]})",
       "org/m\xc3\xa9:Q4 \"q\":loaded"},
      {R"({"data":[{"id":"\ud83d\ude00"},{"id":"\ud800x"}]})", "\xf0\x9f\x98\x80: \xef\xbf\xbdx:"},
      // The same names deeper down do not count.
      {R"({"data":[{"meta":{"id":"inner","status":{"value":"loaded"}},"id":"outer"}]})", "outer:"},
      {R"({"error":{"data":[{"id":"e"}]},"data":[{"id":"d"}]})", "d:"},
      // Entries without a usable id are skipped; the rest stays.
      {R"({"data":[{"id":""},{"id":7},{"status":{"value":"loaded"}},"x",null,{"id":"a\u0000b"},{"id":"k"}]})",
       "k:"},
      {R"({"data":[{"id":"a","status":{"value":["loaded"]}}]})", "a:"},
      // Not a list.
      {R"({"data":{"id":"a"}})", "not a list"},
      {R"({"object":"list"})", "not a list"},
      {R"([{"id":"a"}])", "not a list"},
      {R"({"data":[{"id":"a"}])", "not a list"},
      {R"({"data":[{"id":"a"}]} x)", "not a list"},
      {R"({"data":[{"id":"a",}]})", "not a list"},
      {R"({"data":[{"id":"a\x"}]})", "not a list"},
      {"{\"data\":[{\"id\":\"a\nb\"}]}", "not a list"},
      {R"({"data":[1.]})", "not a list"},
      {R"({"data":[01]})", "not a list"},
      {R"({"data":[tru]})", "not a list"},
      {"", "not a list"},
  };
  for (const auto& c : cases) EXPECT_EQ(read(c.json), c.read) << c.json;
}

TEST(ModelList, StaysWithinItsLimits) {
  // Nesting far deeper than any list fails instead of exhausting the stack.
  const std::string deep = std::string(100000, '[') + std::string(100000, ']');
  EXPECT_EQ(read(R"({"data":[{"x":)" + deep + "}]}"), "not a list");

  const std::string longest(slots::kMaxModelId, 'i');
  EXPECT_EQ(read(R"({"data":[{"id":")" + longest + "x\"},{\"id\":\"" + longest + "\"}]}"),
            longest + ":");

  std::string many = R"({"data":[)";
  for (std::size_t i = 0; i <= slots::kMaxModels; ++i)
    many += (i ? ",{\"id\":\"m\"}" : "{\"id\":\"m\"}");
  std::vector<ModelEntry> models;
  ASSERT_TRUE(slots::read_model_list(many + "]}", &models));
  EXPECT_EQ(models.size(), slots::kMaxModels);
}

TEST(ModelList, ReadsTheMessageOfAnError) {
  const struct {
    std::string json;
    std::string message;
  } cases[] = {
      {R"({"error":{"code":401,"message":"Invalid API Key","type":"authentication_error"}})",
       "Invalid API Key"},
      {R"({"error":"plain"})", "plain"},
      {R"({"error":{"code":500}})", ""},
      {R"({"detail":{"error":"inner"}})", ""},
      {R"({"error":{"message":"cut off here"},"rest":)", "cut off here"},
      {"not json", ""},
  };
  for (const auto& c : cases) {
    std::string message;
    EXPECT_EQ(slots::read_error_message(c.json, &message), !c.message.empty()) << c.json;
    EXPECT_EQ(message, c.message) << c.json;
  }
}

}  // namespace
