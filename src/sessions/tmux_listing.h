// Reads the multiplexer tool's JSON listing into session records.
#pragma once

#include <string_view>
#include <vector>

#include "sessions/session_record.h"

namespace slots {

/// The sessions of a listing, in listing order, at most kMaxSessions, with
/// `name` and `worktree` filled and the other fields empty.
///
/// The output reads like a C string (it ends at its first NUL). After the
/// first "\"sessions\"" and the first '[' after it, every JSON object found by
/// brace depth (strings and their escapes respected, brackets ignored, the
/// array's end not detected) is one candidate: it is listed when its "name" is
/// a non-empty string (cut to 159 characters), with "worktree", or else
/// "project", as its working tree (cut to 767). An object the output ends
/// inside is dropped together with everything after it.
std::vector<SessionRecord> parse_tmux_listing(std::string_view output);

}  // namespace slots
