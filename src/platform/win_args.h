// Windows command lines and program lookup, as pure text functions. The Win32
// side of the platform layer uses them; they build on every platform so their
// tests run everywhere.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

/// `arg` written so that the C runtime's command-line parser (and
/// CommandLineToArgvW) reads it back unchanged: as it is when it is not empty
/// and holds no space, tab, line feed, vertical tab or double quote; otherwise
/// in double quotes, where a double quote is escaped with a backslash and the
/// backslashes right before it or before the closing quote are doubled. No
/// command interpreter reads the line, so '%', '^', '&' and '!' mean nothing.
std::string quote_windows_arg(std::string_view arg);

/// The command line that starts `argv`: argv[0] in double quotes (the parser
/// reads the program name by simpler rules that allow no escapes), then every
/// further argument quoted as above, separated by single spaces. Empty when
/// `argv` is empty or when it cannot be written: argv[0] empty or holding a
/// double quote, or any argument holding a NUL byte.
std::string windows_command_line(const std::vector<std::string>& argv);

/// The files to try, in order, when starting `program`. A name with a
/// directory part (a slash, a backslash or a drive colon) is tried as it is.
/// A bare name is tried in each directory of `search_path` (entries separated
/// by ';', surrounding double quotes removed, empty entries skipped), and
/// nowhere else: not in the program's own folder, not in the current one. A
/// name whose last component has no '.' gets ".exe" added, as CreateProcess
/// does. Empty for an empty name.
std::vector<std::string> program_candidates(std::string_view program, std::string_view search_path);

}  // namespace platform
