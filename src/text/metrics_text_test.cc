#include "text/metrics_text.h"

#include <gtest/gtest.h>

namespace {

constexpr std::string_view kName = "llamacpp:requests_processing";

TEST(FindMetric, ReadsTheFirstSampleLineOfTheName) {
  // What a llama.cpp server answers, trimmed to the lines around the one read.
  const std::string real =
      "# HELP llamacpp:requests_processing Number of requests processing.\n"
      "# TYPE llamacpp:requests_processing gauge\n"
      "llamacpp:requests_processing 2\n"
      "# HELP llamacpp:requests_deferred Number of requests deferred.\n"
      "# TYPE llamacpp:requests_deferred gauge\n"
      "llamacpp:requests_deferred 0\n";
  const struct {
    const char* what;
    std::string text;
    bool found;
    double value;
  } cases[] = {
      {"a server's answer", real, true, 2},
      {"labels", "llamacpp:requests_processing{model=\"a\"} 3\n", true, 3},
      {"labels holding a brace and a quote",
       "llamacpp:requests_processing{m=\"}\\\" 9\"}\t4 1700000000\n", true, 4},
      {"no blank after the labels", "llamacpp:requests_processing{}5", true, 5},
      {"a timestamp", "llamacpp:requests_processing 1.5e1 1700000000000", true, 15},
      {"CR LF and leading blanks", "x 1\r\n  llamacpp:requests_processing 6\r\n", true, 6},
      {"no line feed at the end", "llamacpp:requests_processing 7", true, 7},
      {"the first line decides", "llamacpp:requests_processing 1\n" + std::string(kName) + " 2\n",
       true, 1},
      {"a longer name is another metric",
       "llamacpp:requests_processing_total 8\nllamacpp:requests_processing 9\n", true, 9},
      {"a comment naming it", "# llamacpp:requests_processing 3\n", false, 0},
      {"absent", "llamacpp:requests_deferred 1\n", false, 0},
      {"empty", "", false, 0},
      {"NaN", "llamacpp:requests_processing NaN\n", false, 0},
      {"+Inf", "llamacpp:requests_processing +Inf\n", false, 0},
      {"out of range", "llamacpp:requests_processing 1e999\n", false, 0},
      {"trailing junk", "llamacpp:requests_processing 3x\n", false, 0},
      {"no value", "llamacpp:requests_processing \n", false, 0},
      {"labels that never close", "llamacpp:requests_processing{a=\"}\" 1\n", false, 0},
      {"a bad first line hides a later one",
       "llamacpp:requests_processing -\n" + std::string(kName) + " 2\n", false, 0},
  };
  for (const auto& c : cases) {
    double value = -1;
    EXPECT_EQ(text::find_metric(c.text, kName, &value), c.found) << c.what;
    if (c.found) {
      EXPECT_EQ(value, c.value) << c.what;
    }
  }
}

TEST(JsonNumber, ShortestTextThatReadsBack) {
  const struct {
    double value;
    const char* json;
  } cases[] = {
      {0, "0"}, {3, "3"}, {-2, "-2"}, {0.25, "0.25"}, {1e21, "1e+21"}, {123456789, "123456789"},
  };
  for (const auto& c : cases) EXPECT_EQ(text::json_number(c.value), c.json) << c.json;
}

}  // namespace
