#include "http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <stdexcept>

namespace testing_support {

namespace {

void send_all(int fd, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<std::size_t>(n);
  }
}

const char* reason(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 401:
      return "Unauthorized";
    case 404:
      return "Not Found";
    case 500:
      return "Internal Server Error";
    case 501:
      return "Not Implemented";
    case 503:
      return "Service Unavailable";
    default:
      return "Status";
  }
}

}  // namespace

HttpServer::HttpServer() {
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;  // the system picks a free port
  if (listen_fd_ < 0 || ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listen_fd_, 64) != 0) {
    throw std::runtime_error("test HTTP server cannot listen");
  }
  socklen_t len = sizeof addr;
  ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  thread_ = std::thread([this] { serve(); });
}

HttpServer::~HttpServer() {
  stop_ = true;
  thread_.join();
  ::close(listen_fd_);
  for (int fd : open_fds_) ::close(fd);
}

void HttpServer::route(const std::string& path, HttpAnswer answer) {
  std::lock_guard<std::mutex> lock(mutex_);
  routes_[path] = std::move(answer);
}

std::string HttpServer::base() const {
  return "http://127.0.0.1:" + std::to_string(port_);
}

std::vector<std::string> HttpServer::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

std::vector<std::string> HttpServer::heads() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return heads_;
}

void HttpServer::serve() {
  while (!stop_) {
    pollfd pfd{listen_fd_, POLLIN, 0};
    if (::poll(&pfd, 1, 50) <= 0) continue;
    const int fd = ::accept(listen_fd_, nullptr, nullptr);
    if (fd >= 0) handle(fd);
  }
}

void HttpServer::handle(int fd) {
  // Read the request head; the body of a GET is empty.
  std::string head;
  char buffer[4096];
  while (head.find("\r\n\r\n") == std::string::npos) {
    pollfd pfd{fd, POLLIN, 0};
    if (::poll(&pfd, 1, 2000) <= 0) break;
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    head.append(buffer, static_cast<std::size_t>(n));
  }
  const std::size_t sp1 = head.find(' ');
  const std::size_t sp2 = head.find(' ', sp1 + 1);
  const std::string target = sp1 == std::string::npos || sp2 == std::string::npos
                                 ? ""
                                 : head.substr(sp1 + 1, sp2 - sp1 - 1);
  const std::string path = target.substr(0, target.find('?'));

  HttpAnswer answer{404, "text/plain", "not found\n"};
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(target);
    heads_.push_back(head);
    auto it = routes_.find(target);
    if (it == routes_.end()) it = routes_.find(path);
    if (it != routes_.end()) answer = it->second;
  }
  if (answer.delay_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(answer.delay_ms));
  if (answer.hang) {
    // Keep the connection open and silent until the server stops.
    open_fds_.push_back(fd);
    return;
  }
  std::string response = "HTTP/1.0 " + std::to_string(answer.status) + " " + reason(answer.status) +
                         "\r\nContent-Type: " + answer.content_type +
                         "\r\nContent-Length: " + std::to_string(answer.body.size()) +
                         "\r\nConnection: close\r\n\r\n";
  send_all(fd, response);
  send_all(fd, answer.cut_mid_body ? answer.body.substr(0, answer.body.size() / 2) : answer.body);
  ::shutdown(fd, SHUT_WR);
  ::close(fd);
}

}  // namespace testing_support
