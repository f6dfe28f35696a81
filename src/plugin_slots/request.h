// The request of one run, read once from the command line and the CGI
// environment before anything answers it.
#pragma once

#include <string_view>

#include "platform/platform.h"
#include "text/query.h"

namespace slots {

/// Everything the front of the program decides on.
struct Request {
  /// The metadata line is asked for: the first argument is exactly "--meta",
  /// or QV_PLUGIN_META is set (whatever its value).
  bool meta = false;
  /// QUERY_STRING as the host set it, undecoded; empty when unset.
  std::string_view query_string;
  /// Its parameters, decoded.
  text::Query query;
  /// BOT_PASSWORD; no check when unset or empty.
  std::string_view password;
  /// The credentials a request may carry; null when the header is missing.
  const char* x_bot_password = nullptr;
  const char* authorization = nullptr;
  const char* referer = nullptr;
};

/// Reads the request from the arguments and `env`.
Request read_request(int argc, const char* const* argv, const platform::Environment& env);

}  // namespace slots
