// Runs several commands many times, alternating between them, and prints the
// median and spread of their wall times, and the median of their CPU time
// (user and system, the command's and that of the children it waited for,
// such as curl). Alternating keeps machine noise from
// favouring one command. (Peak memory is measured apart, with GNU time: a
// spawned child's high-water mark also counts the parent's pages it shared
// before exec.)
//
//   driver RUNS NAME1 -- CMD1 ARGS... ::: NAME2 -- CMD2 ARGS... [::: ...]
//
// Each command's standard output goes to /dev/null; its environment is this
// program's (set QUERY_STRING etc. before calling).
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Command {
  std::string name;
  std::vector<char*> argv;
  std::vector<double> ms;
  std::vector<double> cpu_ms;
};

double cpu_ms_of_children() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  const auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
}

bool run_once(Command& cmd) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  const double cpu_start = cpu_ms_of_children();
  const auto start = std::chrono::steady_clock::now();
  pid_t pid;
  if (posix_spawn(&pid, cmd.argv[0], &actions, nullptr, cmd.argv.data(), environ) != 0)
    return false;
  int status = 0;
  waitpid(pid, &status, 0);
  const auto end = std::chrono::steady_clock::now();
  posix_spawn_file_actions_destroy(&actions);
  cmd.ms.push_back(std::chrono::duration<double, std::milli>(end - start).count());
  cmd.cpu_ms.push_back(cpu_ms_of_children() - cpu_start);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

double percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[static_cast<std::size_t>(p * (v.size() - 1))];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: driver RUNS NAME -- CMD... [::: NAME -- CMD...]\n");
    return 2;
  }
  const int runs = std::atoi(argv[1]);
  std::vector<Command> commands;
  for (int i = 2; i < argc;) {
    Command cmd;
    cmd.name = argv[i++];
    if (i >= argc || std::string(argv[i]) != "--") return 2;
    ++i;
    while (i < argc && std::string(argv[i]) != ":::") cmd.argv.push_back(argv[i++]);
    cmd.argv.push_back(nullptr);
    if (i < argc) ++i;
    commands.push_back(std::move(cmd));
  }
  // Warm-up: page cache, dynamic loader caches.
  for (Command& cmd : commands) {
    for (int i = 0; i < 5; ++i) run_once(cmd);
    cmd.ms.clear();
    cmd.cpu_ms.clear();
  }
  bool ok = true;
  for (int r = 0; r < runs; ++r) {
    for (Command& cmd : commands) ok = run_once(cmd) && ok;
  }
  std::printf("%-28s %10s %10s %10s %10s\n", "command", "median ms", "p10 ms", "p90 ms", "cpu ms");
  for (const Command& cmd : commands) {
    std::printf("%-28s %10.3f %10.3f %10.3f %10.3f\n", cmd.name.c_str(), percentile(cmd.ms, 0.5),
                percentile(cmd.ms, 0.1), percentile(cmd.ms, 0.9), percentile(cmd.cpu_ms, 0.5));
  }
  if (commands.size() >= 2) {
    std::printf("ratio %s / %s: %.3f (cpu %.3f)\n", commands[0].name.c_str(),
                commands[1].name.c_str(),
                percentile(commands[0].ms, 0.5) / percentile(commands[1].ms, 0.5),
                percentile(commands[0].cpu_ms, 0.5) / percentile(commands[1].cpu_ms, 0.5));
  }
  if (!ok) std::printf("warning: a command exited with a non-zero status\n");
  return 0;
}
