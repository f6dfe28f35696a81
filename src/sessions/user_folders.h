// The per-user folders the program looks in, and the multiplexer tool's names:
// the application's rules over the system's conventions.
#pragma once

#include <string>

#include "platform/platform.h"

namespace slots {

/// Name under which the multiplexer tool is looked up on the search path
/// ("velunora-tmux", with ".exe" on Windows); also its file name in the
/// per-user folder.
std::string tmux_program();

/// Base folder of the per-user application data (root 2 and the tool default):
/// LOCALAPPDATA on Windows; on POSIX LOCALAPPDATA, else XDG_DATA_HOME, else
/// HOME + "/.local/share" (each only when set and non-empty). Cut to 460
/// characters. Empty when none applies.
std::string app_data_base(const platform::Environment& env);

/// The per-user place of the multiplexer tool, before any cut: on Windows
/// the whole LOCALAPPDATA + "\velunora\" + tmux_program(); on POSIX
/// app_data_base (cut to 460) + "/velunora/" + tmux_program(). Empty when
/// there is no base.
std::string default_tool_path(const platform::Environment& env);

/// Base folder of the user's profile (root 3): USERPROFILE on Windows; on POSIX
/// USERPROFILE, else HOME (each only when set and non-empty). Cut to 460
/// characters. Empty when none applies.
std::string profile_base(const platform::Environment& env);

}  // namespace slots
