// Fuzzes the checks that stand between request input and the outside world:
// the server address test and its normalisation, and the slots and models
// endpoints made from it (each becomes curl's argument), the session identifier test (the
// identifier becomes a path) and the JSON string writer (the address is echoed in the 400 answer).
//
// Input: the decoded address or identifier, as get_query_val hands it over.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "response_check.h"
#include "slots/server_url.h"
#include "text/output.h"

namespace {

// Bytes that mean something to a command interpreter, a quoting rule or an
// HTTP request line. None may ever be in an accepted address.
constexpr std::string_view kNeverInAddress = " \"'`$()<>|;\\!*^{}[]\t\r\n";

bool starts_with(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

void check_address(std::string_view url) {
  const bool valid = slots::valid_server_url(url);
  if (valid) {
    fuzz::check(starts_with(url, "http://") || starts_with(url, "https://"),
                "accepted an address without an http(s) scheme");
    for (unsigned char c : url) {
      fuzz::check(c >= 0x20 && c < 0x7f, "accepted a control byte or a byte from 128 up");
      fuzz::check(kNeverInAddress.find(static_cast<char>(c)) == std::string_view::npos,
                  "accepted a byte that quoting or expansion could act on");
    }
  }

  // Only the path (before the first "?" or "#") is completed; the query and
  // the fragment follow it unchanged.
  const std::size_t cut = std::min(url.find_first_of("?#"), url.size());
  const std::string_view path = url.substr(0, cut);
  const std::string_view tail = url.substr(cut);
  const std::string normalised = slots::normalise_server_url(url);
  fuzz::check(normalised.size() >= tail.size() &&
                  normalised.compare(normalised.size() - tail.size(), tail.size(), tail) == 0,
              "normalisation changed the query or fragment");
  const std::string_view done =
      std::string_view(normalised).substr(0, normalised.size() - tail.size());
  fuzz::check(done.size() >= 6 && done.substr(done.size() - 6) == "/slots",
              "normalised path does not end in /slots");
  fuzz::check(normalised.size() <= url.size() + 6, "normalisation added more than /slots");
  fuzz::check(slots::normalise_server_url(normalised) == normalised,
              "normalising twice changed the address");
  // Normalisation only cuts and appends: everything before the cut is kept.
  const std::string_view kept = done.substr(0, done.size() - 6);
  fuzz::check(starts_with(path, kept) || done == path, "normalisation rewrote the address");

  // The slots call adds autoload=false to a query, and nothing else.
  const std::string endpoint = slots::slots_endpoint(url);
  if (endpoint != normalised) {
    const std::size_t hash = std::min(normalised.find('#', done.size()), normalised.size());
    const std::string_view query = std::string_view(normalised).substr(0, hash);
    const std::string expected = std::string(query) + "&autoload=false" + normalised.substr(hash);
    fuzz::check(endpoint == expected, "the slots endpoint is more than autoload=false added",
                endpoint);
    fuzz::check(tail.substr(0, 1) == "?", "autoload=false added without a query");
  }
  // The models call asks the same place's /models, with the same tail.
  const std::string models = slots::models_endpoint(url);
  fuzz::check(models.size() >= tail.size() + 7 &&
                  models.compare(models.size() - tail.size() - 7, 7, "/models") == 0 &&
                  models.compare(models.size() - tail.size(), tail.size(), tail) == 0,
              "the models endpoint is not the path's /models", models);
  fuzz::check(models.size() <= url.size() + 7, "the models endpoint grew by more than /models");
  if (valid) {
    for (const std::string* out : {&normalised, &endpoint, &models}) {
      for (char c : *out) {
        fuzz::check(kNeverInAddress.find(c) == std::string_view::npos,
                    "an endpoint gained a dangerous byte", *out);
      }
    }
  }
}

void check_identifier(std::string_view id) {
  if (!slots::safe_id(id)) return;
  fuzz::check(!id.empty() && id.size() <= 160, "accepted an identifier of a bad length");
  fuzz::check(
      id.find_first_of("/\\") == std::string_view::npos && id.find('\0') == std::string_view::npos,
      "accepted a path separator or NUL");
  fuzz::check(id.find("..") == std::string_view::npos, "accepted two full stops in a row");
  // Joined to a root, the identifier stays inside it.
  namespace fs = std::filesystem;
  const fs::path root = "/srv/roots/r";
  const fs::path joined = (root / fs::path(std::string(id))).lexically_normal();
  const fs::path inside = joined.lexically_relative(root);
  fuzz::check(!inside.empty() && *inside.begin() != "..", "identifier leaves its root");
}

void check_json_string(std::string_view text) {
  std::string sink;
  text::Output out(&sink);
  out.json_str(text);
  fuzz::check(fuzz::JsonShape::valid_string(sink), "json_str wrote an invalid JSON string", sink);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Values come out of get_query_val, which never hands over a NUL byte or
  // more than 511 bytes for the address.
  std::string_view input(reinterpret_cast<const char*>(data), size);
  input = input.substr(0, input.find('\0'));
  const std::string value(input.substr(0, 511));
  check_address(value);
  check_identifier(std::string_view(value).substr(0, 255));
  check_json_string(value);
  return 0;
}
