// One run of the program: metadata, access check, and the routing table.
#pragma once

#include "platform/platform.h"
#include "slots_version.h"
#include "text/output.h"

namespace slots {

/// The metadata line printed for "--meta" or QV_PLUGIN_META.
inline constexpr std::string_view kMetaLine =
    "{\"name\":\"slots\",\"desc\":\"llama.cpp slots\",\"kind\":\"ui\",\"version\":\"" SLOTS_VERSION
    "\"}\n";

/// Answers one request: the metadata line when the first argument is exactly
/// "--meta" or QV_PLUGIN_META is set (no access check); otherwise the access
/// check, then the responder the routing table picks by `action` and
/// `format`. Returns the exit status, always 0.
int run_request(int argc, const char* const* argv, const platform::Environment& env,
                text::Output& out);

}  // namespace slots
