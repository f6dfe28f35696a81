// Picks the listed session a slots request names.
#pragma once

#include <string_view>
#include <vector>

#include "sessions/session_record.h"

namespace slots {

/// The first record, in table order, whose name equals `id` byte for byte;
/// failing that, the first whose name contains `id`. Records without a session
/// directory never match. Null when none does.
const SessionRecord* match_listed_session(const std::vector<SessionRecord>& table,
                                          std::string_view id);

}  // namespace slots
