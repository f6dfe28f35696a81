// Finds the session directory of a listed session inside its working tree.
#pragma once

#include "sessions/session_record.h"

namespace slots {

/// Fills `session_dir`, `sid` and `has_slots` of `record` from its `worktree`.
///
/// The candidates are the subdirectories of "<worktree>/.velunora/sessions"
/// (worktree cut to 767 characters) whose names do not begin with '.'. A
/// candidate's stamp is the modification time of its slots.json, or of its
/// meta.json when slots.json cannot be queried (whatever their type); one with
/// neither is passed over. The candidate with the greatest stamp wins; on equal
/// stamps the later one in listing order; a stamp before 1970 never wins. Its
/// name (cut to 159 characters) becomes `sid`. Leaves the three fields empty
/// and false when the working tree is empty or nothing qualifies.
void find_session_dir(SessionRecord* record);

}  // namespace slots
