// One session listed by the multiplexer tool, and the limits of its fields.
#pragma once

#include <cstddef>
#include <string>

namespace slots {

/// Most sessions a listing yields; later ones are not read.
inline constexpr std::size_t kMaxSessions = 128;
/// Capacities (terminator counted) of the record's text fields: a field holds
/// at most one byte less.
inline constexpr std::size_t kNameCapacity = 160;
inline constexpr std::size_t kWorktreeCapacity = 768;
inline constexpr std::size_t kSidCapacity = 160;

/// One listed session.
struct SessionRecord {
  /// The listing's "name", escapes decoded; never empty in a listed record.
  std::string name;
  /// The listing's "worktree", or "project" when that is missing or empty.
  std::string worktree;
  /// The chosen session directory: worktree, ".velunora", "sessions", sid.
  /// Empty when none was found.
  std::string session_dir;
  /// Leaf name of session_dir; empty exactly when session_dir is.
  std::string sid;
  /// True when session_dir holds slots.json as a regular file.
  bool has_slots = false;
};

}  // namespace slots
