// Finding and running the multiplexer tool.
#pragma once

#include <chrono>
#include <string>

#include "platform/platform.h"
#include "text/capture.h"

namespace slots {

/// Capacity of the tool's path (at most 511 characters).
inline constexpr std::size_t kToolPathCapacity = 512;

/// How long the tool may run before it is killed and its output dropped.
inline constexpr std::chrono::milliseconds kToolTimeLimit{10000};

/// Where the tool is: VELUNORA_TMUX_BIN when set and non-empty (not checked);
/// otherwise default_tool_path (cut to 511) when that exists;
/// otherwise the bare tmux_program(), looked up on the search path. Cut to 511
/// characters. Looks afresh on every call.
std::string resolve_tmux_path(const platform::Environment& env);

/// resolve_tmux_path on the first call of the process; the same answer on
/// every later call, whatever the environment then says.
const std::string& tmux_path(const platform::Environment& env);

/// Runs "<path> --list --output-json" directly (no command interpreter) and
/// captures its standard output, at most 8 MiB less one byte. Empty when the
/// tool cannot be started, prints nothing, or runs longer than `limit` (what it
/// printed then counts as nothing). The exit status is not looked at.
text::Capture run_tmux_listing(const std::string& path,
                               std::chrono::milliseconds limit = kToolTimeLimit);

}  // namespace slots
