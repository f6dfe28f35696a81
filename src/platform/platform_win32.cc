// Win32 side of the platform layer.
#include <windows.h>
// The C runtime's own headers, after windows.h.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"
#include "platform/win_args.h"

namespace platform {

const char kPathSep = '\\';
const char* const kExeSuffix = ".exe";
const bool kWindows = true;

void prepare_stdout() {
  // Text mode would turn every "\n" into "\r\n" and stop nothing else; the
  // answers must leave byte for byte.
  _setmode(_fileno(stdout), _O_BINARY);
}

namespace {

constexpr DWORD kPipeBuffer = 65536;

HANDLE as_handle(std::intptr_t value) {
  return reinterpret_cast<HANDLE>(value);
}

std::intptr_t from_handle(HANDLE handle) {
  return reinterpret_cast<std::intptr_t>(handle);
}

// The search path of this process (not of the child's environment, as on
// POSIX), read through the system so the name's letter case does not matter.
std::string search_path() {
  const DWORD size = GetEnvironmentVariableA("PATH", nullptr, 0);
  if (size == 0) return {};
  std::string value(size, '\0');
  const DWORD length = GetEnvironmentVariableA("PATH", value.data(), size);
  value.resize(length < size ? length : 0);
  return value;
}

// The program file to start for `name`, or empty when there is none. Only
// the search path is looked at for a bare name (CreateProcess would look in
// this program's folder and the current directory first), and only real
// executables qualify: CreateProcess hands a .bat or .cmd file to cmd.exe.
std::string find_program(const std::string& name) {
  for (const std::string& candidate : program_candidates(name, search_path())) {
    const DWORD attributes = GetFileAttributesA(candidate.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      continue;
    }
    DWORD type = 0;
    if (GetBinaryTypeA(candidate.c_str(), &type) &&
        (type == SCS_64BIT_BINARY || type == SCS_32BIT_BINARY)) {
      return candidate;
    }
  }
  return {};
}

// "NAME=value\0...\0\0", the form CreateProcessA takes. Empty strings would
// end the block early and are left out.
std::string environment_block(const std::vector<std::string>& vars) {
  std::string block;
  for (const std::string& var : vars) {
    if (var.empty() || var.find('\0') != std::string::npos) continue;
    block += var;
    block += '\0';
  }
  if (block.empty()) block += '\0';
  block += '\0';
  return block;
}

HANDLE open_null(DWORD access) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  return CreateFileA("NUL", access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

void close_if_open(HANDLE handle) {
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
}

// Milliseconds until `deadline`, at least 0.
DWORD millis_until(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  if (left.count() <= 0) return 0;
  return static_cast<DWORD>(std::min<long long>(left.count(), INFINITE - 1));
}

}  // namespace

bool stat_path(const std::string& path, FileStatus* status) {
  struct _stat64 st;
  if (_stat64(path.c_str(), &st) != 0) return false;
  status->is_dir = (st.st_mode & _S_IFMT) == _S_IFDIR;
  status->is_regular = (st.st_mode & _S_IFMT) == _S_IFREG;
  status->mtime = static_cast<std::int64_t>(st.st_mtime);
  return true;
}

std::FILE* open_for_reading(const std::string& path) {
  // fopen does not share deletion, so while a publisher renames a new file
  // over this one the open fails with a sharing violation; sharing all three
  // lets both go through.
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  // Only a file on disk is read: a pipe or a device could block for ever.
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    CloseHandle(handle);
    return nullptr;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
  if (fd == -1) {
    CloseHandle(handle);
    return nullptr;
  }
  std::FILE* file = _fdopen(fd, "rb");
  if (file == nullptr) _close(fd);
  return file;
}

bool path_exists(const std::string& path) {
  return _access(path.c_str(), 0) == 0;
}

// Windows resolves each path whole; the handle only remembers the folder.
DirHandle::DirHandle(const std::string& dir) : dir_(dir), ok_(true) {}

DirHandle::~DirHandle() = default;

bool DirHandle::stat_at(const std::string& relative, FileStatus* status) const {
  return stat_path(dir_ + kPathSep + relative, status);
}

bool list_dir(const std::string& dir, std::vector<DirEntry>* entries) {
  entries->clear();
  std::string pattern = dir;
  if (pattern.empty() || (pattern.back() != '\\' && pattern.back() != '/')) pattern += '\\';
  pattern += '*';
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    // Only an existing directory without a single entry (a drive's empty
    // root) reports "file not found".
    return GetLastError() == ERROR_FILE_NOT_FOUND;
  }
  do {
    DirEntry entry;
    entry.name = found.cFileName;
    entry.is_dir = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entries->push_back(std::move(entry));
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return true;
}

ChildProcess::~ChildProcess() {
  finish();
}

bool ChildProcess::start(const std::vector<std::string>& argv, const std::vector<std::string>* env,
                         std::chrono::milliseconds limit, const std::string* input) {
  if (argv.empty() || pid_ != -1) return false;
  if (input != nullptr && input->size() > kMaxInput) return false;
  const std::string program = find_program(argv[0]);
  if (program.empty()) return false;
  std::string command_line = windows_command_line(argv);
  if (command_line.empty()) return false;
  std::string block;
  if (env != nullptr) block = environment_block(*env);

  // Only the write end is inheritable; the read end stays here alone, so the
  // pipe reports its end once the child (and whatever it started) closed it.
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, nullptr, kPipeBuffer)) return false;
  // Standard input: the null device, or the read end of a pipe that this
  // process fills (its write end is not inherited).
  HANDLE child_in = INVALID_HANDLE_VALUE;
  HANDLE input_end = nullptr;
  if (input != nullptr) {
    if (!CreatePipe(&child_in, &input_end, nullptr, kPipeBuffer)) child_in = INVALID_HANDLE_VALUE;
  } else {
    child_in = open_null(GENERIC_READ);
  }
  HANDLE null_err = open_null(GENERIC_WRITE);
  if (!SetHandleInformation(write_end, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT) ||
      child_in == INVALID_HANDLE_VALUE ||
      !SetHandleInformation(child_in, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT) ||
      null_err == INVALID_HANDLE_VALUE) {
    close_if_open(read_end);
    close_if_open(write_end);
    close_if_open(child_in);
    close_if_open(input_end);
    close_if_open(null_err);
    return false;
  }

  STARTUPINFOEXA startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = child_in;
  startup.StartupInfo.hStdOutput = write_end;
  startup.StartupInfo.hStdError = null_err;

  // The child inherits these three handles and no other inheritable handle
  // of this process (the host's pipes, for one).
  HANDLE inherited[] = {child_in, write_end, null_err};
  SIZE_T list_size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &list_size);
  std::vector<char> list_storage(list_size);
  auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list_storage.data());
  DWORD flags = CREATE_NO_WINDOW;
  bool have_list = false;
  if (list_size > 0 && InitializeProcThreadAttributeList(list, 1, 0, &list_size)) {
    have_list = true;
    if (UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                  sizeof inherited, nullptr, nullptr)) {
      startup.lpAttributeList = list;
      flags |= EXTENDED_STARTUPINFO_PRESENT;
    }
  }

  // A child that cannot load or that crashes ends at once instead of waiting
  // on an error dialog that nobody sees; the child inherits this mode.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);

  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessA(program.c_str(), command_line.data(), nullptr, nullptr, TRUE,
                                      flags, env != nullptr ? block.data() : nullptr, nullptr,
                                      &startup.StartupInfo, &process);
  if (have_list) DeleteProcThreadAttributeList(list);
  CloseHandle(write_end);
  CloseHandle(child_in);
  CloseHandle(null_err);
  if (input_end != nullptr) {
    // The input fits the pipe's buffer, so the write completes without the
    // child reading; closing the end is the child's end of input.
    if (started && !input->empty()) {
      DWORD written = 0;
      WriteFile(input_end, input->data(), static_cast<DWORD>(input->size()), &written, nullptr);
    }
    CloseHandle(input_end);
  }
  if (!started) {
    CloseHandle(read_end);
    return false;
  }
  CloseHandle(process.hThread);
  pid_ = from_handle(process.hProcess);
  out_fd_ = from_handle(read_end);
  finished_ = false;
  timed_out_ = false;
  exit_code_ = -1;
  has_deadline_ = limit.count() > 0;
  if (has_deadline_) deadline_ = std::chrono::steady_clock::now() + limit;
  return true;
}

void ChildProcess::kill_now() {
  timed_out_ = true;
  if (pid_ != -1) TerminateProcess(as_handle(pid_), 1);
}

std::size_t ChildProcess::read(char* buffer, std::size_t size) {
  if (out_fd_ == -1 || timed_out_) return 0;
  const HANDLE pipe = as_handle(out_fd_);
  std::size_t got = 0;
  DWORD pause = 1;
  while (got < size) {
    DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - got, 1u << 30));
    if (has_deadline_) {
      // Anonymous pipes cannot wait with a time-out: look before reading, so
      // a read never blocks past the deadline.
      DWORD available = 0;
      if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) break;
      if (available == 0) {
        if (millis_until(deadline_) == 0) {
          kill_now();
          return 0;
        }
        Sleep(pause);
        pause = std::min<DWORD>(pause * 2, 10);
        continue;
      }
      want = std::min(want, available);
      pause = 1;
    }
    DWORD n = 0;
    // A failure is the end of the output (ERROR_BROKEN_PIPE once every
    // writer closed its end) or a read error; both end the read.
    if (!ReadFile(pipe, buffer + got, want, &n, nullptr)) break;
    got += n;
  }
  return got;
}

int ChildProcess::finish() {
  if (finished_ || pid_ == -1) return exit_code_;
  finished_ = true;
  if (out_fd_ != -1) {
    CloseHandle(as_handle(out_fd_));
    out_fd_ = -1;
  }
  const HANDLE process = as_handle(pid_);
  if (has_deadline_ && !timed_out_ &&
      WaitForSingleObject(process, millis_until(deadline_)) == WAIT_TIMEOUT) {
    kill_now();
  }
  WaitForSingleObject(process, INFINITE);
  DWORD code = 0;
  if (timed_out_ || !GetExitCodeProcess(process, &code)) {
    exit_code_ = -1;
  } else {
    exit_code_ = static_cast<int>(code);
  }
  CloseHandle(process);
  pid_ = -1;
  return exit_code_;
}

}  // namespace platform
