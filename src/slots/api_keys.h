// API keys for llama.cpp servers started with --api-key, by server origin.
#pragma once

#include <string>
#include <string_view>

namespace slots {

/// The longest key taken: its header line always fits a pipe's buffer.
inline constexpr std::size_t kMaxApiKey = 4000;

/// The key of the first entry of `keys` (the value of QV_LLAMA_API_KEYS) whose
/// origin is the origin of `endpoint`; empty when none matches. Entries are
/// "ORIGIN=KEY", separated by white space (space, tab, line feed, carriage
/// return); ORIGIN is "http://host[:port]" or "https://host[:port]" with no
/// path. Scheme and host compare without regard to case; a missing port is 80
/// for http and 443 for https. Entries that do not parse (another scheme, a
/// path, no host, a bad port, an empty key, a key longer than kMaxApiKey or
/// with control bytes) are skipped. The endpoint's origin is the host that
/// curl connects to: user information before "@" is not part of it.
std::string api_key_for(std::string_view keys, std::string_view endpoint);

}  // namespace slots
