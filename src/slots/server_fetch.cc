#include "slots/server_fetch.h"

#include <cstdint>
#include <ctime>
#include <random>
#include <vector>

#include "slots/api_keys.h"

namespace slots {

std::string_view trim_trailing_space(std::string_view text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\n' ||
                           text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

namespace {

// The start of a curl command line for `endpoints` of one server. When
// QV_LLAMA_API_KEYS holds one key for the origins of all of them, "-H @-"
// is added and `header` set to the line curl is to read on standard input.
std::vector<std::string> curl_command(const platform::Environment& env,
                                      const std::vector<std::string>& endpoints,
                                      std::string* header) {
  // curl is started directly, with each URL as one argument: no command
  // interpreter ever sees them, so nothing in them can be expanded or quoted
  // away.
  std::vector<std::string> argv = {std::string("curl") + platform::kExeSuffix, "-sk", "--max-time",
                                   "4"};
  header->clear();
  const char* keys = env.get("QV_LLAMA_API_KEYS");
  if (keys == nullptr || endpoints.empty()) return argv;
  const std::string key = api_key_for(keys, endpoints.front());
  if (key.empty()) return argv;
  // curl sends the header to every URL of the run, so every one must be an
  // address the key belongs to.
  for (const std::string& endpoint : endpoints) {
    if (api_key_for(keys, endpoint) != key) return argv;
  }
  // "-H @-": curl reads header lines from its standard input, where neither
  // the process list nor the host's logs show them.
  *header = "Authorization: Bearer " + key + "\n";
  argv.push_back("-H");
  argv.push_back("@-");
  return argv;
}

// 32 hexadecimal digits from the system's random source; empty when there is
// none.
std::string random_boundary() {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string boundary;
  try {
    std::random_device random;
    for (int word = 0; word < 4; ++word) {
      std::uint32_t bits = static_cast<std::uint32_t>(random());
      for (int digit = 0; digit < 8; ++digit, bits >>= 4) boundary += kHex[bits & 15];
    }
  } catch (...) {
    boundary.clear();
  }
  return boundary;
}

// The counts that follow the boundary on a transfer's line: "SIZE CODE EXIT",
// EXIT empty from a curl that does not know %{exitcode}.
struct LineCounts {
  std::size_t size = 0;
  int http_code = 0;
  int curl_code = 0;
};

// Reads a run of decimal digits (at least `min_digits`, at most 18) from the
// front of `text` and removes them.
bool take_number(std::string_view* text, std::size_t min_digits, std::uint64_t* value) {
  std::size_t n = 0;
  *value = 0;
  while (n < text->size() && (*text)[n] >= '0' && (*text)[n] <= '9') {
    if (n == 18) return false;
    *value = *value * 10 + static_cast<std::uint64_t>((*text)[n] - '0');
    ++n;
  }
  text->remove_prefix(n);
  return n >= min_digits;
}

bool read_counts(std::string_view text, LineCounts* counts) {
  std::uint64_t size = 0;
  std::uint64_t code = 0;
  std::uint64_t exit = 0;
  if (!take_number(&text, 1, &size) || text.empty() || text[0] != ' ') return false;
  text.remove_prefix(1);
  if (!take_number(&text, 3, &code) || code > 999 || text.empty() || text[0] != ' ') return false;
  text.remove_prefix(1);
  if (!take_number(&text, 0, &exit) || !text.empty() || exit > 255) return false;
  counts->size = static_cast<std::size_t>(size);
  counts->http_code = static_cast<int>(code);
  counts->curl_code = static_cast<int>(exit);
  return true;
}

}  // namespace

Fetched fetch_endpoint(const platform::Environment& env, const std::string& endpoint) {
  std::string header;
  std::vector<std::string> argv = curl_command(env, {endpoint}, &header);
  argv.push_back(endpoint);

  Fetched fetched;
  platform::ChildProcess curl;
  fetched.started =
      curl.start(argv, nullptr, std::chrono::milliseconds(0), header.empty() ? nullptr : &header);
  if (!fetched.started) return fetched;
  fetched.body =
      text::read_pipe_all([&curl](char* buffer, std::size_t n) { return curl.read(buffer, n); });
  fetched.status = curl.finish();

  std::size_t size = fetched.body.data ? fetched.body.size : 0;
  size = trim_trailing_space({fetched.body.data.get(), size}).size();
  if (fetched.body.data) fetched.body.data.get()[size] = '\0';
  fetched.size = size;
  return fetched;
}

FetchedAll fetch_endpoints(const platform::Environment& env,
                           const std::vector<std::string>& endpoints,
                           std::chrono::milliseconds limit) {
  FetchedAll fetched;
  fetched.transfers.resize(endpoints.size());
  const std::string boundary = random_boundary();
  if (boundary.empty()) return fetched;
  std::string header;
  std::vector<std::string> argv = curl_command(env, endpoints, &header);
  argv.push_back("-w");
  argv.push_back(transfer_format(boundary));
  argv.insert(argv.end(), endpoints.begin(), endpoints.end());

  platform::ChildProcess curl;
  fetched.started = curl.start(argv, nullptr, limit, header.empty() ? nullptr : &header);
  if (!fetched.started) return fetched;
  fetched.output =
      text::read_pipe_all([&curl](char* buffer, std::size_t n) { return curl.read(buffer, n); });
  fetched.status = curl.finish();
  // A run killed at its limit may have written some transfers whole; none
  // counts, as with a curl that failed to start.
  if (curl.timed_out()) return fetched;
  fetched.transfers = split_transfers(fetched.output.view(), boundary, endpoints.size());
  return fetched;
}

std::string transfer_format(std::string_view boundary) {
  std::string format = "\\n";
  format.append(boundary);
  format.append(" %{size_download} %{http_code} %{exitcode}\\n");
  return format;
}

std::vector<Transfer> split_transfers(std::string_view output, std::string_view boundary,
                                      std::size_t count) {
  std::vector<Transfer> transfers(count);
  std::string mark = "\n";
  mark.append(boundary);
  mark.push_back(' ');
  std::size_t pos = 0;
  for (Transfer& transfer : transfers) {
    const std::size_t line = output.find(mark, pos);
    if (line == std::string_view::npos) break;  // this one and every later one failed
    const std::size_t fields = line + mark.size();
    const std::size_t end = output.find('\n', fields);
    if (end == std::string_view::npos) break;
    const std::size_t body_size = line - pos;
    const std::string_view body = output.substr(pos, body_size);
    pos = end + 1;
    LineCounts counts;
    if (!read_counts(output.substr(fields, end - fields), &counts)) continue;
    transfer.http_code = counts.http_code;
    if (counts.size != body_size || counts.curl_code != 0 || counts.http_code == 0) continue;
    transfer.ok = true;
    transfer.body = body;
  }
  return transfers;
}

void write_answer_head(text::Output& out, const std::string& endpoint) {
  out.raw(text::kJsonHeader);
  out.raw("{\"ok\":true,\"source\":\"query\",\"url\":");
  out.json_str(endpoint);
  out.raw(",\"updated_epoch\":");
  out.raw(std::to_string(static_cast<long long>(std::time(nullptr))));
  out.raw(",");
}

bool fetch_or_reply(const platform::Environment& env, const std::string& endpoint,
                    std::string_view unable, text::Output& out, Fetched* fetched) {
  *fetched = fetch_endpoint(env, endpoint);
  if (!fetched->started) {
    text::reply_json_err(out, "502 Bad Gateway", "failed to invoke curl", endpoint);
    return false;
  }
  if (!fetched->usable()) {
    text::reply_json_err(out, "502 Bad Gateway", unable, endpoint);
    return false;
  }
  return true;
}

bool fetch_all_or_reply(const platform::Environment& env, const std::vector<std::string>& endpoints,
                        std::string_view unable, text::Output& out, FetchedAll* fetched,
                        std::string_view* first) {
  *fetched = fetch_endpoints(env, endpoints);
  if (!fetched->started) {
    text::reply_json_err(out, "502 Bad Gateway", "failed to invoke curl", endpoints[0]);
    return false;
  }
  const Transfer& transfer = fetched->transfers[0];
  *first = trim_trailing_space(transfer.body);
  if (!transfer.ok || first->size() <= 1) {
    text::reply_json_err(out, "502 Bad Gateway", unable, endpoints[0]);
    return false;
  }
  return true;
}

}  // namespace slots
