// The sessions call: the sessions of this machine the page can pick from.
#pragma once

#include "platform/platform.h"
#include "plugin_slots/output.h"

namespace slots {

/// Writes {"ok":true,"sessions":[...]}: the multiplexer tool's sessions, or,
/// when it lists none, the subdirectories of the first session root. Never
/// fails: every problem only shortens the list.
void handle_sessions(const platform::Environment& env, Output& out);

}  // namespace slots
