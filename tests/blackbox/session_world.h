// A machine in a temporary directory for the session tests: a stand-in
// multiplexer tool, a listing for it to print, working trees with session
// directories and session roots, all real directories with set times.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "harness.h"

namespace session_world {

using namespace testing_support;

/// One temporary machine. Every run gets exactly the environment built here.
class World {
 public:
  World() { tool_ = install_stand_in(dir_.path() / "bin", "tool"); }

  const fs::path& root() const { return dir_.path(); }

  /// `relative` under the temporary directory, in the platform's form.
  std::string path(const std::string& relative) const {
    return (dir_.path() / fs::path(relative)).make_preferred().string();
  }

  /// What the stand-in tool prints on its next runs.
  void set_listing(std::string_view bytes) const { write_file(dir_.path() / "listing", bytes); }

  /// A session directory `sid` in the working tree `tree` (relative), with
  /// the given files ("slots.json" and/or "meta.json") stamped `mtime`.
  /// Returns the directory.
  fs::path add_session(const std::string& tree, const std::string& sid,
                       std::initializer_list<const char*> files, std::int64_t mtime,
                       std::string_view content = "[]") const {
    const fs::path dir = dir_.path() / tree / ".velunora" / "sessions" / sid;
    fs::create_directories(dir);
    for (const char* file : files) {
      write_file(dir / file, content);
      set_mtime(dir / file, mtime);
    }
    return dir;
  }

  /// The environment of a run with `query`: the tool is the stand-in, found
  /// through VELUNORA_TMUX_BIN, printing the listing and recording its argv.
  Env env(const std::string& query) const {
    return {{"QUERY_STRING", query},
            {"VELUNORA_TMUX_BIN", tool_},
            {"STAND_IN_STDOUT", path("listing")},
            {"STAND_IN_ARGV", path("argv")}};
  }

  /// True when the tool ran since the last call, which forgets the run.
  bool tool_ran() const {
    const bool ran = fs::exists(dir_.path() / "argv");
    fs::remove(dir_.path() / "argv");
    return ran;
  }

  /// The arguments the tool got on its last run, one per line.
  std::string tool_argv() const { return read_file(dir_.path() / "argv"); }

 private:
  TempDir dir_;
  std::string tool_;
};

/// A listing entry {"name":..,"worktree":..} with both values JSON-escaped.
inline std::string listed(std::string_view name, std::string_view worktree) {
  return "{\"name\":" + json_string(name) + ",\"worktree\":" + json_string(worktree) + "}";
}

/// The tool's listing of the given comma-separated entries.
inline std::string listing(const std::string& entries) {
  return "{\"ok\":true,\"sessions\":[" + entries + "]}\n";
}

}  // namespace session_world
