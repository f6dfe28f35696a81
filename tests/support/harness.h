// Helpers shared by the tests: temporary directories, files, stand-in
// programs and a runner for the built program.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "percent_encode.h"

namespace testing_support {

namespace fs = std::filesystem;

/// A fresh directory under the system's temporary folder, removed with
/// everything in it when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const fs::path& path() const { return path_; }
  /// `path() / relative`, as a string in the platform's form.
  std::string str(const std::string& relative = "") const;

 private:
  fs::path path_;
};

/// Writes `bytes` to `path`, creating parent directories.
void write_file(const fs::path& path, std::string_view bytes);
/// The whole content of a file; empty when it cannot be read.
std::string read_file(const fs::path& path);
/// Sets a file's or directory's modification time in seconds since 1970.
void set_mtime(const fs::path& path, std::int64_t seconds);

/// Bytes of a fixture answer under tests/fixtures.
std::string fixture(const std::string& name);

/// What one run of the program wrote and how it ended.
struct RunResult {
  std::string out;
  int exit_code = -1;
  bool timed_out = false;  ///< stopped at its time limit
};

/// Environment of one run: exactly these variables, nothing inherited.
using Env = std::map<std::string, std::string>;

/// Runs the built program with `env` as its whole environment and `args` as
/// its arguments after the program name.
RunResult run_slots(const Env& env, const std::vector<std::string>& args = {});

/// Runs `program` (a path) the way run_slots runs the built program. A
/// non-zero `limit` stops a run that has not ended by then (timed_out tells).
RunResult run_program(const std::string& program, const Env& env,
                      const std::vector<std::string>& args = {},
                      std::chrono::milliseconds limit = std::chrono::milliseconds(0));

/// Path of the built program.
std::string slots_path();

/// Path of the built stand-in program (see stand_in.cc).
std::string stand_in_path();

/// Makes `dir` hold a copy of the stand-in under `name` (".exe" added on
/// Windows) and returns its full path.
std::string install_stand_in(const fs::path& dir, const std::string& name);

/// The success header of every JSON answer.
inline constexpr std::string_view kJsonHeader =
    "Content-Type: application/json; charset=utf-8\r\n\r\n";

/// A complete failure response, as the program writes it.
std::string error_response(std::string_view status, std::string_view message,
                           std::string_view url = {});

/// `text` as a JSON string the way the program writes it.
std::string json_string(std::string_view text);

/// Replaces the digits after "\"updated_epoch\":" with "EPOCH" and stores the
/// number in `epoch` (when not null). Leaves the text alone when absent.
std::string mask_epoch(const std::string& text, long long* epoch = nullptr);

}  // namespace testing_support
