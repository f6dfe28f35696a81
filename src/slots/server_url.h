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

/// The server's slots endpoint for an accepted address. The part before the
/// first "?" or "#" has its trailing slashes removed; ending in "/slots" it is
/// kept, otherwise one trailing "/v1" is dropped and "/slots" appended; the
/// rest (query, fragment) follows unchanged.
std::string normalise_server_url(std::string_view url);

/// What the slots call fetches for an accepted address: the normalised URL,
/// with "autoload=false" added to its query when the query names a `model`
/// (a router's model) and sets no `autoload` itself, so that asking for a
/// model's slots never makes a router load it.
std::string slots_endpoint(std::string_view url);

/// What the models call fetches for an accepted address: the part before the
/// first "?" or "#" with trailing slashes, then one "/slots", then one "/v1"
/// removed, "/models" appended, and the rest following unchanged.
std::string models_endpoint(std::string_view url);

/// What the props call fetches for an accepted address: the models endpoint's
/// path with "/props" in place of "/models", and "autoload=false" added as
/// slots_endpoint adds it (a router asked for a model's facts never loads it).
std::string props_endpoint(std::string_view url);

/// The same with "/metrics": a server's Prometheus counters, read beside
/// /props when asked.
std::string metrics_endpoint(std::string_view url);

}  // namespace slots
