#include "slots/slot_numbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

namespace {

using slots::SlotNumbers;

// A slot's numbers as one line, NaN as "-" and a missing speed as "none".
std::string show(const SlotNumbers& s) {
  const auto n = [](double v) {
    if (std::isnan(v)) return std::string("-");
    std::string t = std::to_string(v);
    t.erase(t.find_last_not_of('0') + 1);
    if (t.back() == '.') t.pop_back();
    return t;
  };
  const auto o = [&n](const std::optional<double>& v) { return v ? n(*v) : "none"; };
  return "id=" + s.id + " busy=" + (s.processing ? "1" : "0") + " ctx=" + n(s.n_ctx) +
         " used=" + n(s.used) + " prompt=" + n(s.prompt) + " cached=" + n(s.cached) +
         " decoded=" + n(s.decoded) + " tg=" + o(s.tg) + " pp=" + o(s.pp);
}

TEST(SlotNumbers, ReadAsThePageReadsThem) {
  const struct {
    const char* what;
    std::string slot;  // one slot object
    std::string numbers;
  } cases[] = {
      {"a current server's busy slot: n_prompt_tokens counts the generated tokens",
       R"({"id":1,"n_ctx":4096,"is_processing":true,"id_task":5,"n_prompt_tokens":1500,)"
       R"("n_prompt_tokens_processed":600,"n_prompt_tokens_cache":900,)"
       R"("next_token":[{"n_decoded":100}]})",
       "id=1 busy=1 ctx=4096 used=1500 prompt=1400 cached=900 decoded=100 tg=none pp=none"},
      {"more decoded than counted: the prompt is 0, not negative",
       R"({"id":0,"n_prompt_tokens":10,"n_prompt_tokens_cache":0,"n_decoded":30})",
       "id=0 busy=0 ctx=0 used=10 prompt=0 cached=0 decoded=30 tg=none pp=none"},
      {"a session's flat slot with its own speeds",
       R"({"id":"s-1","is_processing":1,"n_ctx":8192,"n_prompt_tokens":1000,)"
       R"("n_prompt_tokens_processed":400,"n_decoded":50,"tg":12.5,"pp":300})",
       "id=s-1 busy=1 ctx=8192 used=1050 prompt=1000 cached=600 decoded=50 tg=12.5 pp=300"},
      {"an older server: n_past, next_token's n_decoded, timings",
       R"({"id":2,"is_processing":true,"n_ctx":2048,"n_past":70,)"
       R"("next_token":[{"n_decoded":20},{"n_decoded":99}],)"
       R"("timings":{"predicted_per_second":31.5,"prompt_per_second":0}})",
       "id=2 busy=1 ctx=2048 used=90 prompt=70 cached=70 decoded=20 tg=31.5 pp=none"},
      {"an idle slot without counts",
       R"({"id":3,"is_processing":false,"n_ctx":2048,"timings":null})",
       "id=3 busy=0 ctx=2048 used=0 prompt=0 cached=0 decoded=0 tg=none pp=none"},
      {"counts that are no numbers give none, a string cache count is no cache count",
       R"({"n_prompt_tokens":"12","n_decoded":5,"n_prompt_tokens_cache":"3","tg":null,)"
       R"("pp":"fast","is_processing":"yes","n_ctx":{}})",
       "id=0 busy=1 ctx=- used=- prompt=- cached=- decoded=5 tg=none pp=-"},
  };
  for (const auto& c : cases) {
    std::vector<SlotNumbers> slots;
    ASSERT_TRUE(slots::read_slot_numbers("[" + c.slot + "]", &slots)) << c.what;
    ASSERT_EQ(slots.size(), 1u) << c.what;
    EXPECT_EQ(show(slots[0]), c.numbers) << c.what;
  }
}

TEST(SlotNumbers, TheSlotsArrayOfEitherSchema) {
  const struct {
    std::string json;
    bool ok;
    std::string ids;  // the slots' ids, joined by ','
  } cases[] = {
      {R"([{"id":0},7,"x",null,{"id":1}])", true, "0,1"},
      {R"({"updated_epoch":1,"slots":[{"id":4},{"n_ctx":1}],"x":{"slots":5}})", true, "4,1"},
      {R"({"slots":{"id":0}})", false, ""},
      {R"({"error":{"code":501,"message":"no slots"}})", false, ""},
      {R"([{"id":0}] trailing)", false, ""},
  };
  for (const auto& c : cases) {
    std::vector<SlotNumbers> slots = {SlotNumbers{}};
    EXPECT_EQ(slots::read_slot_numbers(c.json, &slots), c.ok) << c.json;
    std::string ids;
    for (const SlotNumbers& s : slots) ids += (ids.empty() ? "" : ",") + s.id;
    EXPECT_EQ(ids, c.ids) << c.json;
  }
}

}  // namespace
