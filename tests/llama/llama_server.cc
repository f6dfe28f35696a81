#include "llama_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace testing_support {

namespace {

int free_port() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    throw std::runtime_error("no free port");
  }
  socklen_t len = sizeof addr;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);
  return ntohs(addr.sin_port);
}

}  // namespace

HttpReply http_request(int port, const std::string& method, const std::string& target,
                       const std::string& body, const std::vector<std::string>& headers,
                       int timeout_s) {
  HttpReply reply;
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return reply;
  }
  std::string request = method + " " + target +
                        " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                        "\r\nConnection: close\r\n";
  for (const std::string& h : headers) request += h + "\r\n";
  if (!body.empty() || method == "POST") {
    request +=
        "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
  }
  request += "\r\n" + body;
  std::size_t sent = 0;
  while (sent < request.size()) {
    const ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<std::size_t>(n);
  }
  std::string raw;
  char buffer[65536];
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_s);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd pfd{fd, POLLIN, 0};
    if (::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) break;
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    raw.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  const std::size_t head_end = raw.find("\r\n\r\n");
  if (raw.rfind("HTTP/1.", 0) != 0 || head_end == std::string::npos) return reply;
  reply.status = std::atoi(raw.c_str() + 9);
  std::string rest = raw.substr(head_end + 4);
  const std::string head = raw.substr(0, head_end);
  if (head.find("Transfer-Encoding: chunked") != std::string::npos ||
      head.find("transfer-encoding: chunked") != std::string::npos) {
    // A router relays its models' answers chunked: joins the chunks.
    std::size_t pos = 0;
    while (pos < rest.size()) {
      const std::size_t eol = rest.find("\r\n", pos);
      if (eol == std::string::npos) break;
      const std::size_t size = std::strtoul(rest.substr(pos, eol - pos).c_str(), nullptr, 16);
      if (size == 0) break;
      reply.body += rest.substr(eol + 2, size);
      pos = eol + 2 + size + 2;
    }
  } else {
    reply.body = rest;
  }
  return reply;
}

std::string llama_dir() {
  const char* dir = std::getenv("SLOTS_LLAMA_DIR");
  if (dir == nullptr || dir[0] == '\0') {
    throw std::runtime_error(
        "SLOTS_LLAMA_DIR is not set: run these tests through tools/test-llama");
  }
  return dir;
}

std::vector<std::string> LlamaServer::model_args(const std::string& model,
                                                 std::vector<std::string> more) {
  std::vector<std::string> args = {
      "-m", llama_dir() + "/models/" + model, "-np", "2", "-c", "4096", "-t", "1"};
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

LlamaServer::LlamaServer(std::vector<std::string> args) : args_(std::move(args)) {
  for (int attempt = 0; attempt < 5 && !running(); ++attempt) {
    port_ = free_port();
    try {
      start();
    } catch (const std::exception&) {
      if (attempt == 4) throw;
    }
  }
}

LlamaServer::~LlamaServer() {
  stop();
}

std::string LlamaServer::base() const {
  return "http://127.0.0.1:" + std::to_string(port_);
}

void LlamaServer::start() {
  if (running()) return;
  std::vector<std::string> argv = {llama_dir() + "/bin/llama-server",
                                   "--host",
                                   "127.0.0.1",
                                   "--port",
                                   std::to_string(port_),
                                   "--no-ui"};
  argv.insert(argv.end(), args_.begin(), args_.end());
  std::vector<char*> cargs;
  for (std::string& a : argv) cargs.push_back(a.data());
  cargs.push_back(nullptr);
  const std::string log = log_dir_.str("server.log");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  // A process group of its own, so that a router's model servers stop with it.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attr, 0);
  pid_t pid = -1;
  const int rc = ::posix_spawn(&pid, cargs[0], &actions, &attr, cargs.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) throw std::runtime_error("llama-server cannot be started: " + argv[0]);
  pid_ = pid;
  for (int i = 0; i < 600; ++i) {
    if (http_request(port_, "GET", "/health", "", {}, 2).status == 200) return;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      throw std::runtime_error("llama-server ended at start: " + read_file(log));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  stop();
  throw std::runtime_error("llama-server did not become healthy: " + read_file(log));
}

void LlamaServer::stop() {
  if (!running()) return;
  ::kill(-pid_, SIGTERM);
  int status = 0;
  for (int i = 0; i < 100; ++i) {
    if (::waitpid(pid_, &status, WNOHANG) == pid_) break;
    if (i == 99) {
      ::kill(-pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  // Whatever is left of its group (a router's model servers).
  ::kill(-pid_, SIGKILL);
  pid_ = -1;
}

}  // namespace testing_support
