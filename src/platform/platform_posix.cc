// POSIX side of the platform layer.
#include "platform/platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace platform {

const char kPathSep = '/';
const char* const kExeSuffix = "";
const bool kWindows = false;

void prepare_stdout() {
  // A host that closes standard output early (the client went away) would
  // otherwise end the program with SIGPIPE; the write just fails instead, and
  // the exit status stays 0. Children get the default back at their start.
  ::signal(SIGPIPE, SIG_IGN);
}

bool stat_path(const std::string& path, FileStatus* status) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  status->is_dir = S_ISDIR(st.st_mode);
  status->is_regular = S_ISREG(st.st_mode);
  status->mtime = static_cast<std::int64_t>(st.st_mtime);
  return true;
}

std::FILE* open_for_reading(const std::string& path) {
  // Opened without waiting and kept only when it is a regular file: a named
  // pipe or a device at that path would otherwise block the request for ever.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    ::close(fd);
    return nullptr;
  }
  std::FILE* file = ::fdopen(fd, "rb");
  if (file == nullptr) ::close(fd);
  return file;
}

bool path_exists(const std::string& path) {
  return ::access(path.c_str(), F_OK) == 0;
}

DirHandle::DirHandle(const std::string& dir) : dir_(dir) {
  fd_ = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ok_ = fd_ >= 0;
}

DirHandle::~DirHandle() {
  if (fd_ >= 0) ::close(static_cast<int>(fd_));
}

bool DirHandle::stat_at(const std::string& relative, FileStatus* status) const {
  if (!ok_) return stat_path(dir_ + kPathSep + relative, status);
  struct stat st;
  if (::fstatat(static_cast<int>(fd_), relative.c_str(), &st, 0) != 0) return false;
  status->is_dir = S_ISDIR(st.st_mode);
  status->is_regular = S_ISREG(st.st_mode);
  status->mtime = static_cast<std::int64_t>(st.st_mtime);
  return true;
}

bool list_dir(const std::string& dir, std::vector<DirEntry>* entries) {
  entries->clear();
  DIR* handle = ::opendir(dir.c_str());
  if (handle == nullptr) return false;
  std::string path = dir;
  path.push_back('/');
  const std::size_t prefix = path.size();
  while (const dirent* ent = ::readdir(handle)) {
    DirEntry entry;
    entry.name = ent->d_name;
    // The entry type saves a status query; links and unknown types are
    // resolved with stat, which follows links as the directory test must.
    if (ent->d_type == DT_DIR) {
      entry.is_dir = true;
    } else if (ent->d_type == DT_LNK || ent->d_type == DT_UNKNOWN) {
      path.resize(prefix);
      path += entry.name;
      struct stat st;
      entry.is_dir = ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    entries->push_back(std::move(entry));
  }
  ::closedir(handle);
  // Byte order keeps listings and tie-breaks the same on every file system.
  std::sort(entries->begin(), entries->end(),
            [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
  return true;
}

ChildProcess::~ChildProcess() {
  finish();
}

namespace {

// Writes all of `bytes` to `fd`, giving up when the reader is gone.
void write_all(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace

bool ChildProcess::start(const std::vector<std::string>& argv, const std::vector<std::string>* env,
                         std::chrono::milliseconds limit, const std::string* input) {
  if (argv.empty() || pid_ != -1) return false;
  if (input != nullptr && input->size() > kMaxInput) return false;
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  int in_fds[2] = {-1, -1};
  if (input != nullptr && ::pipe2(in_fds, O_CLOEXEC) != 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    return false;
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (input != nullptr) {
    posix_spawn_file_actions_adddup2(&actions, in_fds[0], 0);
  } else {
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  }
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

  // The child starts with default signal handling, whatever the host left.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
  // A child with a time limit gets a process group of its own, so that at the
  // limit whatever it started is killed with it.
  if (limit.count() > 0) {
    flags |= POSIX_SPAWN_SETPGROUP;
    posix_spawnattr_setpgroup(&attr, 0);
  }
  posix_spawnattr_setflags(&attr, flags);

  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  std::vector<char*> vars;
  if (env != nullptr) {
    for (const std::string& var : *env) vars.push_back(const_cast<char*>(var.c_str()));
    vars.push_back(nullptr);
  }

  pid_t pid = -1;
  const int rc = ::posix_spawnp(&pid, args[0], &actions, &attr, args.data(),
                                env != nullptr ? vars.data() : environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  ::close(fds[1]);
  if (input != nullptr) {
    ::close(in_fds[0]);
    // The input fits the pipe's buffer, so this never waits on the child; a
    // child that already ended makes it fail (SIGPIPE is ignored), harmlessly.
    if (rc == 0) write_all(in_fds[1], *input);
    ::close(in_fds[1]);
  }
  if (rc != 0) {
    ::close(fds[0]);
    return false;
  }
  pid_ = pid;
  out_fd_ = fds[0];
  finished_ = false;
  timed_out_ = false;
  has_deadline_ = limit.count() > 0;
  if (has_deadline_) deadline_ = std::chrono::steady_clock::now() + limit;
  return true;
}

void ChildProcess::kill_now() {
  timed_out_ = true;
  if (pid_ == -1) return;
  // The child leads its own group (it has a limit): kill the whole group.
  const pid_t pid = static_cast<pid_t>(pid_);
  if (::kill(-pid, SIGKILL) != 0) ::kill(pid, SIGKILL);
}

std::size_t ChildProcess::read(char* buffer, std::size_t size) {
  if (out_fd_ == -1 || timed_out_) return 0;
  const int fd = static_cast<int>(out_fd_);
  std::size_t got = 0;
  while (got < size) {
    if (has_deadline_) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline_ - std::chrono::steady_clock::now());
      if (left.count() <= 0) {
        kill_now();
        return 0;
      }
      pollfd pfd{fd, POLLIN, 0};
      const int ready = ::poll(&pfd, 1, static_cast<int>(std::min<long long>(left.count(), 1000)));
      if (ready < 0 && errno != EINTR) return got;
      if (ready <= 0) continue;
    }
    const ssize_t n = ::read(fd, buffer + got, size - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      return got;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return got;
}

int ChildProcess::finish() {
  if (finished_ || pid_ == -1) return exit_code_;
  finished_ = true;
  if (out_fd_ != -1) {
    ::close(static_cast<int>(out_fd_));
    out_fd_ = -1;
  }
  const pid_t pid = static_cast<pid_t>(pid_);
  int status = 0;
  useconds_t pause = 100;
  for (;;) {
    if (has_deadline_ && !timed_out_) {
      // Poll for the end, so a child that ignores the closed pipe still ends
      // at its limit.
      const pid_t done = ::waitpid(pid, &status, WNOHANG);
      if (done == pid) break;
      if (done < 0 && errno != EINTR) break;
      if (std::chrono::steady_clock::now() >= deadline_) {
        kill_now();
        continue;
      }
      ::usleep(pause);
      pause = std::min<useconds_t>(pause * 2, 10000);
      continue;
    }
    const pid_t done = ::waitpid(pid, &status, 0);
    if (done == pid || (done < 0 && errno != EINTR)) break;
  }
  pid_ = -1;
  if (timed_out_) {
    exit_code_ = -1;
  } else if (WIFEXITED(status)) {
    exit_code_ = WEXITSTATUS(status);
  } else {
    exit_code_ = -1;
  }
  return exit_code_;
}

}  // namespace platform
