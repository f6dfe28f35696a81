// The default session roots: folders whose subdirectories are sessions.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace slots {

/// Capacity of one stored root path (at most 511 characters).
inline constexpr std::size_t kRootCapacity = 512;

/// The existing session roots, in order of preference: QV_SESSIONS_DIR (probed
/// whole, stored cut to 511 characters), then "<app data base>/velunora/sessions",
/// then "<profile base>/.velunora/sessions" (bases as platform.h describes them).
/// A candidate is kept only when it is a directory; nothing is deduplicated.
/// Reads the environment and the file system afresh on every call.
std::vector<std::string> collect_default_roots(const platform::Environment& env);

}  // namespace slots
