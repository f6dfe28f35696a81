// Checks and normalisation of a llama.cpp server address, and session ids.
#pragma once

#include <string>
#include <string_view>

namespace slots {

/// True when `id` is a safe session identifier: 1 to 160 characters, each an
/// ASCII letter or digit or one of "-.:_", and no ".." anywhere.
bool safe_id(std::string_view id);

/// True when `url` starts with "http://" or "https://" (case-sensitive) and
/// every byte is an ASCII letter or digit or one of ":/.-_~%?&#=+@,". Nothing
/// that could be read as quoting or expansion by any command line passes.
bool valid_server_url(std::string_view url);

/// The server's slots endpoint for an accepted address: trailing slashes
/// removed; an address ending in "/slots" kept; otherwise one trailing "/v1"
/// dropped and "/slots" appended.
std::string normalise_server_url(std::string_view url);

}  // namespace slots
