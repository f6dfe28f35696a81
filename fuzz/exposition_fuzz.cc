// Fuzzes the slot reader of the metrics call and the exposition writer.
//
// Input: a slots answer (a server's /slots or a session's slots.json); its
// slots' ids, and the input itself as a label value, go into the labels.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "response_check.h"
#include "slots/slot_numbers.h"
#include "text/exposition.h"
#include "text/json_reader.h"

namespace {

// True when `text` is well-formed UTF-8 (what a scraper demands of labels).
bool valid_utf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t n = c < 0x80                 ? 1
                    : c >= 0xC2 && c <= 0xDF ? 2
                    : c >= 0xE0 && c <= 0xEF ? 3
                    : c >= 0xF0 && c <= 0xF4 ? 4
                                             : 0;
    if (n == 0 || i + n > text.size()) return false;
    std::uint32_t cp = n == 1 ? c : c & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
      const auto b = static_cast<unsigned char>(text[i + k]);
      if ((b & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (b & 0x3F);
    }
    const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < least[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += n;
  }
  return true;
}

// Checks one sample line `m{...} VALUE`: label values quoted and escaped as
// the format says, valid UTF-8, and a finite number after them.
void check_sample(std::string_view line) {
  fuzz::check(line.rfind("m{", 0) == 0, "a sample of another name", line);
  std::size_t i = 2;
  std::string value;
  while (true) {
    const std::size_t eq = line.find("=\"", i);
    fuzz::check(eq != std::string_view::npos, "a label without a quoted value", line);
    value.clear();
    for (i = eq + 2; i < line.size() && line[i] != '"'; ++i) {
      if (line[i] == '\\') {
        fuzz::check(i + 1 < line.size() &&
                        std::string_view("\\\"n").find(line[i + 1]) != std::string_view::npos,
                    "an escape the format does not have", line);
        value += line[++i] == 'n' ? '\n' : line[i];
      } else {
        value += line[i];
      }
    }
    fuzz::check(i < line.size(), "a label value not closed", line);
    fuzz::check(valid_utf8(value), "a label value that is not UTF-8", line);
    ++i;
    if (line[i] == '}') break;
    fuzz::check(line[i] == ',', "labels not separated by commas", line);
    ++i;
  }
  fuzz::check(line.substr(i, 2) == "} ", "no value after the labels", line);
  const std::string number(line.substr(i + 2));
  char* end = nullptr;
  const double parsed = std::strtod(number.c_str(), &end);
  fuzz::check(end != number.c_str() && *end == '\0' && std::isfinite(parsed),
              "a value that is not a finite number", line);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<slots::SlotNumbers> slots;
  const bool read = slots::read_slot_numbers(text, &slots);
  text::JsonReader reader(text);
  fuzz::check(!read || (reader.skip_value() && reader.at_end()), "slots read from what is no JSON");
  fuzz::check(read || slots.empty(), "slots kept from an answer that failed");

  std::string out;
  text::MetricFamily family(&out, "m", "help", "gauge");
  for (const slots::SlotNumbers& s : slots) {
    for (double v :
         {s.n_ctx, s.used, s.prompt, s.cached, s.decoded, s.tg.value_or(0), s.pp.value_or(0)}) {
      family.add({{"source", text.substr(0, 64)}, {"slot", s.id}}, v);
    }
  }
  family.add({{"source", text}}, 1);
  std::size_t pos = out.find('\n', out.find('\n') + 1) + 1;  // past HELP and TYPE
  while (pos < out.size()) {
    const std::size_t end = out.find('\n', pos);
    fuzz::check(end != std::string::npos, "a sample line not ended", out);
    check_sample(std::string_view(out).substr(pos, end - pos));
    pos = end + 1;
  }
  return 0;
}
