#include "llama_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

extern char** environ;

namespace testing_support {

namespace {

// The launcher of this source tree, found beside its fixtures (whose folder
// the build names).
std::string serve_script() {
  return (fs::path(SLOTS_FIXTURES_DIR).parent_path().parent_path() / "tools" / "llama" / "serve")
      .string();
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

std::vector<std::string> LlamaServer::model_args(const std::string& model,
                                                 std::vector<std::string> more) {
  std::vector<std::string> args = {"--model", model};
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

LlamaServer::LlamaServer(std::vector<std::string> args) : args_(std::move(args)) {
  start();
}

LlamaServer::~LlamaServer() {
  stop();
}

std::string LlamaServer::base() const {
  return "http://127.0.0.1:" + std::to_string(port_);
}

void LlamaServer::start() {
  if (running()) return;
  std::vector<std::string> argv = {serve_script()};
  if (port_ != 0) argv.insert(argv.end(), {"--port", std::to_string(port_)});
  argv.insert(argv.end(), args_.begin(), args_.end());
  std::vector<char*> cargs;
  for (std::string& a : argv) cargs.push_back(a.data());
  cargs.push_back(nullptr);
  // Both pipes close on exec: the launcher must see the end of its input
  // when this object closes its end, not when some other child does.
  int in[2];
  int out[2];
  if (::pipe2(in, O_CLOEXEC) != 0) throw std::runtime_error("no pipe");
  if (::pipe2(out, O_CLOEXEC) != 0) {
    ::close(in[0]);
    ::close(in[1]);
    throw std::runtime_error("no pipe");
  }
  const std::string errors = log_dir_.str("serve.err");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  const int rc = ::posix_spawn(&pid, cargs[0], &actions, nullptr, cargs.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(in[0]);
  ::close(out[1]);
  if (rc != 0) {
    ::close(in[1]);
    ::close(out[0]);
    throw std::runtime_error("the launcher cannot be started: " + argv[0]);
  }
  pid_ = pid;
  to_serve_ = in[1];
  // Its one line once the server is healthy; nothing when it did not start.
  std::string line;
  char c = 0;
  while (::read(out[0], &c, 1) == 1 && c != '\n') line += c;
  ::close(out[0]);
  int port = 0;
  int server_pid = 0;
  if (std::sscanf(line.c_str(), "{\"port\":%d,\"pid\":%d}", &port, &server_pid) != 2) {
    stop();
    throw std::runtime_error("llama-server did not start: " + read_file(errors));
  }
  port_ = port;
}

void LlamaServer::stop() {
  if (!running()) return;
  // The end of its input tells the launcher to stop the server; it ends
  // once the server and its own children are gone.
  ::close(to_serve_);
  to_serve_ = -1;
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
}

}  // namespace testing_support
