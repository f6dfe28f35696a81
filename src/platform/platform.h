// The operating-system layer: the only code that talks to POSIX or Win32.
// platform_posix.cc and platform_win32.cc implement this header; CMake picks one.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

/// Separator put between the parts of every path the program builds.
extern const char kPathSep;
/// What the system's program files end in: ".exe" on Windows, nothing on POSIX.
extern const char* const kExeSuffix;
/// True on Windows, whose per-user folders come from LOCALAPPDATA and
/// USERPROFILE alone; false on POSIX, which also has XDG_DATA_HOME and HOME.
extern const bool kWindows;

/// Puts standard output into the mode in which bytes leave exactly as written
/// (binary mode on Windows), and makes a reader that goes away early an
/// ordinary write error instead of the end of the process (SIGPIPE ignored on
/// POSIX; children still start with the default). Called once at start.
void prepare_stdout();

/// The variables a run reads: the process environment, or exactly a given
/// set of variables (tests and fuzzers run requests in-process with one).
class Environment {
 public:
  using Vars = std::vector<std::pair<std::string, const char*>>;
  /// The process's own environment, looked up as it is asked.
  static Environment process() { return Environment(); }
  /// Exactly these variables; a name listed with a null value is unset.
  static Environment given(const Vars& vars);

  /// The value of `name`, or null when the variable is not set.
  const char* get(const char* name) const;

 private:
  Environment() = default;
  bool own_ = false;
  std::vector<std::pair<std::string, std::string>> vars_;
};

/// What a status query found. Valid only when stat_path returned true.
struct FileStatus {
  bool is_dir = false;
  bool is_regular = false;
  std::int64_t mtime = 0;  ///< modification time, seconds since 1970
};

/// Queries the status of `path`, following links. False when the query fails.
bool stat_path(const std::string& path, FileStatus* status);

/// True when `path` names an existing directory (links followed). An empty path
/// is never one and touches nothing.
inline bool is_dir(const std::string& path) {
  FileStatus status;
  return !path.empty() && stat_path(path, &status) && status.is_dir;
}

/// True when `path` names an existing regular file (links followed); a
/// directory of that name does not count. An empty path is never one.
inline bool file_exists(const std::string& path) {
  FileStatus status;
  return !path.empty() && stat_path(path, &status) && status.is_regular;
}

/// Opens a file for reading in binary mode, like fopen(path, "rb"). On Windows
/// the file is opened sharing read, write and delete, so a publisher that
/// replaces it by rename meanwhile neither fails nor makes this open fail.
/// Null when it cannot be opened or is not a regular file (a directory, a
/// named pipe or a device), so reading never waits for a writer.
std::FILE* open_for_reading(const std::string& path);

/// True when something exists at `path` (any type).
bool path_exists(const std::string& path);

/// A directory held open, so that status queries of paths inside it do not
/// walk the directory's whole path again each time.
class DirHandle {
 public:
  /// Opens `dir`; ok() tells whether it could be.
  explicit DirHandle(const std::string& dir);
  ~DirHandle();
  DirHandle(const DirHandle&) = delete;
  DirHandle& operator=(const DirHandle&) = delete;

  bool ok() const { return ok_; }
  /// Status of `dir` + separator + `relative` (its parts joined with kPathSep),
  /// following links, as stat_path would report it. False when the query fails.
  bool stat_at(const std::string& relative, FileStatus* status) const;

 private:
  std::string dir_;
  std::intptr_t fd_ = -1;
  bool ok_ = false;
};

/// One entry of a directory listing.
struct DirEntry {
  std::string name;
  bool is_dir = false;  ///< the directory attribute (POSIX: stat following links)
};

/// Lists the entries of `dir` into `entries` (cleared first), "." and ".."
/// included where the system reports them. POSIX sorts by name in byte order;
/// Windows keeps the file system's order. False when the directory cannot be
/// opened.
bool list_dir(const std::string& dir, std::vector<DirEntry>* entries);

/// A child process whose standard output is read through a pipe. Standard
/// error is on the null device, and so is standard input unless the start
/// gives the child an input. The program is started directly from an argument
/// vector, never through a command interpreter.
class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  /// Ends a still-running child the way finish() does.
  ~ChildProcess();

  /// Starts argv[0] (looked up on the search path when it has no directory
  /// part) with the given arguments. `env`, when not null, replaces the
  /// environment ("NAME=value" strings). A zero `limit` means no time limit;
  /// otherwise a child still running `limit` after the start is killed, with
  /// the processes it started where the system allows it (a process group on
  /// POSIX), and its output counts as none. `input`, when not null, is what
  /// the child reads on its standard input: written whole through a pipe and
  /// the pipe closed before start() returns, so it must fit a pipe's buffer
  /// (at most kMaxInput bytes). A child that ends without reading it loses it
  /// (a failed write, not a signal, once prepare_stdout has run).
  /// False when the program cannot be started at all, or `input` is too long.
  bool start(const std::vector<std::string>& argv, const std::vector<std::string>* env = nullptr,
             std::chrono::milliseconds limit = std::chrono::milliseconds(0),
             const std::string* input = nullptr);

  /// The longest input start() takes: what every pipe holds without a reader.
  static constexpr std::size_t kMaxInput = 4096;

  /// Reads up to `size` bytes of the child's output. Returns fewer only at the
  /// end of the output, on a read error or when the time limit passed; 0 then.
  std::size_t read(char* buffer, std::size_t size);

  /// Closes the read end of the pipe first, so a child still writing gets a
  /// broken pipe instead of blocking, then waits for it. Returns its exit code;
  /// a child killed by a signal or by the time limit yields -1. Idempotent.
  int finish();

  /// True when the child was killed because its time limit passed.
  bool timed_out() const { return timed_out_; }

 private:
  std::intptr_t pid_ = -1;     // POSIX pid, or Win32 process handle
  std::intptr_t out_fd_ = -1;  // read end of the pipe (fd or handle)
  std::chrono::steady_clock::time_point deadline_{};
  bool has_deadline_ = false;
  bool timed_out_ = false;
  bool finished_ = false;
  int exit_code_ = -1;

  void kill_now();
};

}  // namespace platform
