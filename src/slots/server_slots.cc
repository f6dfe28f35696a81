// The server-address branch of the slots call.
#include <chrono>
#include <ctime>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "slots/handle_slots.h"
#include "slots/server_url.h"
#include "text/capture.h"

namespace slots {

namespace {

constexpr std::string_view kBadGateway = "502 Bad Gateway";
constexpr std::string_view kUnableToFetch = "unable to fetch /slots from llama.cpp server";

bool is_trailing_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

}  // namespace

void reply_server_slots(std::string_view url, Output& out) {
  if (!valid_server_url(url)) {
    reply_json_err(out, "400 Bad Request", "invalid url (must be http:// or https://)", url);
    return;
  }
  const std::string endpoint = normalise_server_url(url);

  // curl is started directly, with the URL as one argument: no command
  // interpreter ever sees it, so nothing in it can be expanded or quoted away.
  platform::ChildProcess curl;
  const std::vector<std::string> argv = {platform::kCurlProgram, "-sk", "--max-time", "4",
                                         endpoint};
  if (!curl.start(argv)) {
    reply_json_err(out, kBadGateway, "failed to invoke curl", endpoint);
    return;
  }
  text::Capture body =
      text::read_pipe_all([&curl](char* buffer, std::size_t n) { return curl.read(buffer, n); });
  const int status = curl.finish();

  std::size_t size = body.data ? body.size : 0;
  while (size > 0 && is_trailing_space(body.data.get()[size - 1])) --size;
  if (body.data) body.data.get()[size] = '\0';

  if (size == 0 || status != 0 || size == 1) {
    reply_json_err(out, kBadGateway, kUnableToFetch, endpoint);
    return;
  }
  const std::string_view data(body.data.get(), size);
  if (data[0] == '[') {
    out.raw(kJsonHeader);
    out.raw("{\"ok\":true,\"source\":\"query\",\"url\":");
    out.json_str(endpoint);
    out.raw(",\"updated_epoch\":");
    out.raw(std::to_string(static_cast<long long>(std::time(nullptr))));
    out.raw(",\"slots\":");
    // The array is written as a string: an embedded NUL byte ends it.
    out.raw(data.substr(0, data.find('\0')));
    out.raw("}\n");
  } else if (data[0] == '{') {
    out.raw(kJsonHeader);
    out.raw(data);
    out.raw("\n");
  } else {
    reply_json_err(out, kBadGateway, "unexpected non-JSON response from /slots", endpoint);
  }
}

}  // namespace slots
