// Fetching one endpoint of a llama.cpp server with curl.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "text/capture.h"
#include "text/output.h"

namespace slots {

/// What curl brought back.
struct Fetched {
  bool started = false;  ///< false when curl could not be started at all
  int status = -1;       ///< curl's exit code
  text::Capture body;    ///< its output, trailing white space cut (NUL after)
  std::size_t size = 0;  ///< the length left after the cut

  /// True when there is something to classify: curl ended with 0 and left
  /// more than one byte.
  bool usable() const { return started && status == 0 && size > 1; }
  std::string_view data() const { return {body.data.get(), size}; }
};

/// Runs `curl -sk --max-time 4 ENDPOINT`, directly from an argument vector.
/// When QV_LLAMA_API_KEYS holds a key for the endpoint's origin, the command
/// is `curl -sk --max-time 4 -H @- ENDPOINT` and the header line
/// "Authorization: Bearer KEY" goes to curl's standard input, so the key is
/// never on a command line. Trailing spaces, tabs, line feeds and carriage
/// returns of the output are cut.
Fetched fetch_endpoint(const platform::Environment& env, const std::string& endpoint);

/// Writes the start of a successful answer for `endpoint`: the JSON header and
/// {"ok":true,"source":"query","url":ENDPOINT,"updated_epoch":NOW, (the
/// current time in seconds since 1970); the caller writes the rest.
void write_answer_head(text::Output& out, const std::string& endpoint);

/// fetch_endpoint, answering the 502 itself when there is nothing to classify:
/// "failed to invoke curl" when curl cannot be started, `unable` when it
/// failed or printed one byte or less; the endpoint is the envelope's url.
/// False when it answered.
bool fetch_or_reply(const platform::Environment& env, const std::string& endpoint,
                    std::string_view unable, text::Output& out, Fetched* fetched);

}  // namespace slots
