#include "harness.h"

#include <chrono>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/platform.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace testing_support {

TempDir::TempDir() {
  std::random_device rd;
  for (;;) {
    fs::path candidate = fs::temp_directory_path() / ("slots-test-" + std::to_string(rd()));
    if (fs::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  // Make everything writable again first, so tests may remove permissions.
  for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(path_, ec);
}

std::string TempDir::str(const std::string& relative) const {
  return relative.empty() ? path_.string() : (path_ / relative).make_preferred().string();
}

void write_file(const fs::path& path, std::string_view bytes) {
  if (path.has_parent_path()) fs::create_directories(path.parent_path());
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string read_file(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

void set_mtime(const fs::path& path, std::int64_t seconds) {
#ifdef _WIN32
  // The C runtime, and so std::filesystem, opens the path as a file and
  // cannot stamp a directory.
  HANDLE handle = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  DWORD error = ERROR_SUCCESS;
  if (handle == INVALID_HANDLE_VALUE) {
    error = GetLastError();
  } else {
    // 100-nanosecond ticks since 1601.
    const std::int64_t ticks = (seconds + 11644473600LL) * 10000000LL;
    FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    if (!SetFileTime(handle, nullptr, nullptr, &time)) error = GetLastError();
    CloseHandle(handle);
  }
  if (error != ERROR_SUCCESS) {
    throw fs::filesystem_error("cannot set file time", path,
                               std::error_code(static_cast<int>(error), std::system_category()));
  }
#else
  const auto since_epoch = std::chrono::seconds(seconds);
  const auto system_time = std::chrono::system_clock::time_point(since_epoch);
  fs::last_write_time(path, std::chrono::file_clock::from_sys(system_time));
#endif
}

std::string fixture(const std::string& name) {
  return read_file(fs::path(SLOTS_FIXTURES_DIR) / name);
}

RunResult run_slots(const Env& env, const std::vector<std::string>& args) {
  return run_program(SLOTS_EXE, env, args);
}

std::string slots_path() {
  return SLOTS_EXE;
}

RunResult run_program(const std::string& program, const Env& env,
                      const std::vector<std::string>& args, std::chrono::milliseconds limit) {
  std::vector<std::string> argv = {program};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<std::string> vars;
  for (const auto& [name, value] : env) vars.push_back(name + "=" + value);
  RunResult result;
  platform::ChildProcess child;
  if (!child.start(argv, &vars, limit)) return result;
  char buffer[65536];
  for (;;) {
    const std::size_t n = child.read(buffer, sizeof buffer);
    result.out.append(buffer, n);
    if (n < sizeof buffer) break;
  }
  result.exit_code = child.finish();
  result.timed_out = child.timed_out();
  return result;
}

std::string stand_in_path() {
  return STAND_IN_EXE;
}

std::string install_stand_in(const fs::path& dir, const std::string& name) {
  const fs::path source = stand_in_path();
  fs::path target = dir / (name + source.extension().string());
  fs::create_directories(dir);
  fs::copy_file(source, target, fs::copy_options::overwrite_existing);
  return target.make_preferred().string();
}

std::string json_string(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) >= 32 && c != 127) out += c;
    }
  }
  return out + "\"";
}

std::string error_response(std::string_view status, std::string_view message,
                           std::string_view url) {
  std::string out = "Status: " + std::string(status) + "\r\n" + std::string(kJsonHeader) +
                    "{\"ok\":false,\"error\":" + json_string(message);
  if (!url.empty()) out += ",\"url\":" + json_string(url);
  return out + "}\n";
}

std::string mask_epoch(const std::string& text, long long* epoch) {
  const std::string key = "\"updated_epoch\":";
  const std::size_t at = text.find(key);
  if (at == std::string::npos) return text;
  std::size_t end = at + key.size();
  while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
  const std::string digits = text.substr(at + key.size(), end - at - key.size());
  if (epoch != nullptr) *epoch = digits.empty() ? -1 : std::stoll(digits);
  return text.substr(0, at + key.size()) + "EPOCH" + text.substr(end);
}

}  // namespace testing_support
