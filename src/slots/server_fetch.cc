#include "slots/server_fetch.h"

#include <ctime>
#include <vector>

#include "slots/api_keys.h"

namespace slots {

namespace {

bool is_trailing_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

}  // namespace

Fetched fetch_endpoint(const platform::Environment& env, const std::string& endpoint) {
  // curl is started directly, with the URL as one argument: no command
  // interpreter ever sees it, so nothing in it can be expanded or quoted away.
  std::vector<std::string> argv = {std::string("curl") + platform::kExeSuffix, "-sk", "--max-time",
                                   "4"};
  std::string header;
  if (const char* keys = env.get("QV_LLAMA_API_KEYS")) {
    const std::string key = api_key_for(keys, endpoint);
    if (!key.empty()) {
      // "-H @-": curl reads header lines from its standard input, where
      // neither the process list nor the host's logs show them.
      header = "Authorization: Bearer " + key + "\n";
      argv.push_back("-H");
      argv.push_back("@-");
    }
  }
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
  while (size > 0 && is_trailing_space(fetched.body.data.get()[size - 1])) --size;
  if (fetched.body.data) fetched.body.data.get()[size] = '\0';
  fetched.size = size;
  return fetched;
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

}  // namespace slots
