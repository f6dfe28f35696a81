// The Slots Monitor page as the program writes it: the asset files under
// assets/page put together in their fixed order, the same bytes on every
// request.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness.h"

namespace {

using testing_support::Env;
using testing_support::read_file;
using testing_support::run_slots;
namespace fs = std::filesystem;

const std::string kHeaders =
    "Content-Type: text/html; charset=utf-8\r\n"
    "Cache-Control: no-cache, no-store, must-revalidate\r\n"
    "\r\n";
const std::string kMiddleDot = "\xC2\xB7";

// The monitor script's pieces, in the order they are joined.
const std::vector<std::string> kMonitorScript = {"slot_math.js", "history.js", "address.js",
                                                 "draw.js",      "poll.js",    "watch.js",
                                                 "overview.js",  "controls.js"};

fs::path assets_dir() {
  return fs::path(SLOTS_FIXTURES_DIR).parent_path().parent_path() / "assets" / "page";
}

std::string drop_final_newline(std::string bytes) {
  if (!bytes.empty() && bytes.back() == '\n') bytes.pop_back();
  return bytes;
}

// One asset file as it goes into the page: a single final line feed dropped.
std::string asset(const std::string& name) {
  std::string bytes = read_file(assets_dir() / name);
  EXPECT_FALSE(bytes.empty()) << name;
  return drop_final_newline(bytes);
}

// The monitor script: its pieces joined end to end, each whole, then the
// single final line feed of the whole dropped.
std::string monitor_script() {
  std::string joined;
  for (const std::string& name : kMonitorScript) joined += read_file(assets_dir() / name);
  return drop_final_newline(joined);
}

std::string script(const std::string& name) {
  return "<script>" + asset(name) + "</script>\n";
}

// The page put together from the asset files, piece by piece.
std::string expected_page() {
  return kHeaders + asset("head.html") + "\n" + script("theme_bootstrap.js") + "<style>\n" +
         asset("tokens.css") + "\n" + asset("components.css") + "\n" + "</style></head><body>\n" +
         asset("body.html") + "\n<script>\n" + monitor_script() + "\n</script>\n" +
         script("theme_bridge.js") + "</body></html>\n";
}

const std::string& page() {
  static const std::string bytes = run_slots({}).out;
  return bytes;
}

TEST(Page, IsTheAssetsInOrder) {
  EXPECT_EQ(page(), expected_page());
}

TEST(Page, StartsWithExactlyItsHeaderLines) {
  ASSERT_EQ(page().compare(0, kHeaders.size(), kHeaders), 0);
  // After the header block the document's lines end in a line feed alone.
  EXPECT_EQ(page().find('\r', kHeaders.size()), std::string::npos);
  EXPECT_EQ(page().find("Status:"), std::string::npos);
}

TEST(Page, SameBytesForEveryRequest) {
  // Nothing of the request reaches the page: not its query, not the
  // credential, not the referring page.
  const Env requests[] = {
      {{"QUERY_STRING", ""}},
      {{"QUERY_STRING", "theme=light&embed=1"}},
      {{"QUERY_STRING", "id=%3Cb%3Ex&url=http://127.0.0.1:1/"}},
      {{"QUERY_STRING", "action=other&format=xml&plugin=slots&node=n1"}},
      {{"BOT_PASSWORD", "s3cret"}, {"QUERY_STRING", "pwd=s3cret&theme=dark"}},
      {{"BOT_PASSWORD", "s3cret"}, {"HTTP_X_BOT_PASSWORD", "s3cret"}},
      {{"HTTP_REFERER", "http://host/slots?pwd=x"}, {"QV_SESSIONS_DIR", "/nonexistent"}},
  };
  for (const Env& env : requests) {
    const auto result = run_slots(env);
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.out, page()) << (env.count("QUERY_STRING") ? env.at("QUERY_STRING") : "");
  }
}

TEST(Page, PlainAsciiButTheTitlesMiddleDot) {
  const std::string title = "<title>Slots Monitor " + kMiddleDot + " VELUNORA BOT</title>\n";
  const std::size_t at = page().find(title);
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(page().find(title, at + 1), std::string::npos);
  for (std::size_t i = 0; i < page().size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(page()[i]);
    if (c < 0x80) continue;
    const bool in_dot = i == at + 21 || i == at + 22;
    EXPECT_TRUE(in_dot) << "byte " << int(c) << " at " << i;
  }
}

TEST(Page, AttributesAreSingleQuoted) {
  // The markup quotes with single quotes and the scripts and styles need no
  // double quotes at all, so there is none anywhere in the document.
  EXPECT_EQ(page().find('"'), std::string::npos);
}

TEST(Page, LineLayoutOfThePieces) {
  // The theme scripts and the token styles are one line each; the component
  // styles are one rule per line.
  for (const char* name : {"theme_bootstrap.js", "theme_bridge.js", "tokens.css"}) {
    EXPECT_EQ(asset(name).find('\n'), std::string::npos) << name;
  }
  const std::string components = asset("components.css") + "\n";
  std::size_t start = 0;
  int rules = 0;
  for (std::size_t end; (end = components.find('\n', start)) != std::string::npos;
       start = end + 1) {
    const std::string line = components.substr(start, end - start);
    EXPECT_EQ(line.find('{'), line.rfind('{')) << line;
    EXPECT_EQ(line.back(), '}') << line;
    ++rules;
  }
  EXPECT_GE(rules, 35);

  const std::vector<std::string> order = {
      "<!DOCTYPE html>\n<html lang='en'><head>\n",
      "<meta charset='utf-8'>\n",
      "<meta name='viewport' content='width=device-width,initial-scale=1'>\n",
      "<title>",
      "</title>\n<script>",
      "</script>\n<style>\n:root{",
      "</style></head><body>\n<div class='wrap'>",
      "\n<script>\n(function",
      "</script>\n<script>",
      "</script>\n</body></html>\n",
  };
  std::size_t pos = 0;
  for (const std::string& mark : order) {
    const std::size_t found = page().find(mark, pos);
    ASSERT_NE(found, std::string::npos) << mark;
    pos = found + mark.size();
  }
  EXPECT_EQ(pos, page().size());
}

}  // namespace
