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

/// Members a higher layer adds to the sessions answer after its list.
using MoreMembers = void (*)(const platform::Environment& env, text::Output& out);

/// handle_sessions, with `more` (when not null) writing further members after
/// the list, each starting with its comma.
void handle_sessions(const platform::Environment& env, text::Output& out, MoreMembers more);

}  // namespace slots
