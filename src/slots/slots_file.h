// Reading a session's slots.json whole, up to a fixed ceiling.
#pragma once

#include <cstddef>
#include <string>

#include "text/capture.h"

namespace slots {

/// Largest buffer the file is read into (the capture ceiling); it holds at
/// most one byte less.
inline constexpr std::size_t kSlotsFileCeiling = text::kCaptureCeiling;

/// Opens `path` for binary reading and reads it into a buffer that starts at
/// 4096 bytes and doubles while it is at most 4 MiB, so it ends at 8 MiB: a
/// longer file yields its first 8 MiB less one byte and the rest is not read.
/// A read error or a failed growth ends the reading with what was read. False
/// when the file cannot be opened or the first buffer cannot be had.
bool read_slots_file(const std::string& path, text::Capture* bytes);

}  // namespace slots
