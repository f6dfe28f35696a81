// The sessions the multiplexer tool lists, with their session directories.
#pragma once

#include <vector>

#include "platform/platform.h"
#include "sessions/session_record.h"

namespace slots {

/// Runs the multiplexer tool (tmux_path), reads its listing and finds each
/// listed session's directory. Replaces the content of `table` with at most
/// kMaxSessions records in listing order and returns their number. Every
/// failure (no tool, no output, a broken listing) only shortens the table;
/// nothing is reported. A null table yields 0 without running the tool.
int list_tmux_sessions(const platform::Environment& env, std::vector<SessionRecord>* table);

}  // namespace slots
