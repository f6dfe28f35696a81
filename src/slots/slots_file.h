// Reading a session's slots.json whole, up to the capture ceiling.
#pragma once

#include <string>

#include "text/capture.h"

namespace slots {

/// Opens `path` for binary reading and reads it whole with text::read_pipe_all:
/// a file longer than the capture ceiling yields its first 8 MiB less one
/// byte. A read error ends the reading with what was read. False when the
/// file cannot be opened or no buffer can be had.
bool read_slots_file(const std::string& path, text::Capture* bytes);

}  // namespace slots
