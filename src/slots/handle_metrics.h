// The metrics call: every slot of every configured server and listed session
// in the Prometheus text exposition format, for a scraper.
#pragma once

#include "platform/platform.h"
#include "text/output.h"
#include "text/query.h"

namespace slots {

/// Answers action=metrics: reads every server of QV_LLAMA_SERVERS (a router:
/// each loaded model) and every listed session with a slots.json, all at
/// once, and writes the text exposition format 0.0.4. A source that fails
/// is `slots_up 0` and changes nothing else. Writes exactly one complete
/// response.
void handle_metrics(const platform::Environment& env, const text::Query& query, text::Output& out);

}  // namespace slots
