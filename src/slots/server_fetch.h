// Fetching endpoints of a llama.cpp server with curl: one, or several in one
// run of curl.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

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

/// `text` without its trailing spaces, tabs, line feeds and carriage returns:
/// what is left of a fetched body to classify.
std::string_view trim_trailing_space(std::string_view text);

/// fetch_endpoint, answering the 502 itself when there is nothing to classify:
/// "failed to invoke curl" when curl cannot be started, `unable` when it
/// failed or printed one byte or less; the endpoint is the envelope's url.
/// False when it answered.
bool fetch_or_reply(const platform::Environment& env, const std::string& endpoint,
                    std::string_view unable, text::Output& out, Fetched* fetched);

/// One transfer of a curl run that fetched several endpoints.
struct Transfer {
  /// True when the transfer is known to have ended well: its boundary line
  /// came, its body has the size curl counted, curl named no error for it and
  /// a server answered (an HTTP status). Otherwise the body is empty.
  bool ok = false;
  int http_code = 0;      ///< the server's HTTP status; 0 when none came
  std::string_view body;  ///< the bytes as received (nothing cut)
};

/// What one curl run for several endpoints brought back.
struct FetchedAll {
  /// false when curl could not be started at all (or the system gave no
  /// random bytes for the boundary)
  bool started = false;
  int status = -1;                  ///< curl's exit code (that of its last transfer)
  text::Capture output;             ///< everything it wrote; the bodies point into it
  std::vector<Transfer> transfers;  ///< one per endpoint, in order
};

/// Fetches several endpoints of one server with one curl run:
/// `curl -sk --max-time 4 [-H @-] -w FORMAT ENDPOINT...`. FORMAT writes, after
/// each transfer, a line holding a boundary drawn at random for the run (the
/// server cannot guess it, so no body can fake one) with curl's counts of the
/// transfer: bytes received, HTTP status and curl's code for it (left empty by
/// a curl older than 7.75, which then counts as no error). The output is split
/// at those lines (split_transfers). Each transfer has its own 4-second limit.
/// The key of QV_LLAMA_API_KEYS goes on standard input as for fetch_endpoint,
/// and only when every endpoint's origin has that same key: curl sends it with
/// each of them. A non-zero `limit` bounds the whole run: curl still running
/// then is killed and every transfer counts as failed.
FetchedAll fetch_endpoints(const platform::Environment& env,
                           const std::vector<std::string>& endpoints,
                           std::chrono::milliseconds limit = std::chrono::milliseconds(0));

/// fetch_endpoints for a call that answers for the first endpoint, answering
/// the 502 itself as fetch_or_reply does ("failed to invoke curl", or
/// `unable` when the first transfer did not end well or brought one byte or
/// less; the first endpoint is the envelope's url). True with `*first` the
/// first body without its trailing white space; false when it answered.
bool fetch_all_or_reply(const platform::Environment& env, const std::vector<std::string>& endpoints,
                        std::string_view unable, text::Output& out, FetchedAll* fetched,
                        std::string_view* first);

/// The -w format of fetch_endpoints for `boundary`: a line feed, the
/// boundary, then " %{size_download} %{http_code} %{exitcode}" and a line
/// feed (curl reads the "\n" escapes).
std::string transfer_format(std::string_view boundary);

/// Splits what fetch_endpoints' curl wrote into `count` transfers. A
/// transfer's line is the first line feed followed by the boundary and a blank
/// after where the previous transfer's line ended; what comes before it is the
/// body, which must have the size the line gives. A line that does not parse,
/// or a size that does not match, fails that transfer only; a missing line
/// fails that transfer and every later one.
std::vector<Transfer> split_transfers(std::string_view output, std::string_view boundary,
                                      std::size_t count);

}  // namespace slots
