// The sessions call: the sessions of this machine the page can pick from.
#pragma once

#include "platform/platform.h"
#include "text/output.h"
#include "text/query.h"

namespace slots {

/// Writes {"ok":true,"sessions":[...]}: the multiplexer tool's sessions, or,
/// when it lists none, the subdirectories of the first session root. Never
/// fails: every problem only shortens the list.
void handle_sessions(const platform::Environment& env, const text::Query& query, text::Output& out);

}  // namespace slots
