// The password check that guards every request but the metadata request.
#pragma once

#include "plugin_slots/request.h"
#include "text/output.h"

namespace slots {

/// The 111-byte refusal written when no route admits the request.
inline constexpr std::string_view kUnauthorized =
    "Status: 401 Unauthorized\r\nContent-Type: application/json; charset=utf-8\r\n\r\n"
    "{\"ok\":false,\"error\":\"unauthorized\"}\n";

/// True when `credential` equals `password` byte for byte. The time taken
/// depends on the credential's length only, never on where the two differ.
bool password_matches(std::string_view credential, std::string_view password);

/// Admits the request when BOT_PASSWORD is unset or empty, or when one route
/// presents the password: the X-Bot-Password header, a bearer token, the `pwd`
/// query parameter, or the `pwd` parameter of the referring address. Otherwise
/// writes the refusal and returns false; the caller then ends the run.
bool check_access(const Request& request, text::Output& out);

}  // namespace slots
