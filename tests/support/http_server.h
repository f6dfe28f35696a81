// A small HTTP/1.0 server for tests, on 127.0.0.1 and a free port, serving
// fixed answers from a background thread until it is destroyed.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

/// What the server does for one path.
struct HttpAnswer {
  int status = 200;
  std::string content_type = "application/json";
  std::string body;
  /// Accept the request and never answer (until the server stops).
  bool hang = false;
  /// Announce the full length, send only half the body, then close.
  bool cut_mid_body = false;
  /// Wait this long before answering (the server answers one request at a
  /// time, so later requests wait too).
  int delay_ms = 0;
};

class HttpServer {
 public:
  HttpServer();
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  /// Serves `answer` for requests whose path (before any '?') equals `path`,
  /// or, when `path` holds a '?', whose whole target equals it (tried
  /// first). Other paths get 404 with a short text body.
  void route(const std::string& path, HttpAnswer answer);
  /// "http://127.0.0.1:PORT"
  std::string base() const;
  int port() const { return port_; }
  /// Request targets (path and query) received so far, in order.
  std::vector<std::string> requests() const;
  /// The whole request heads (request line and header lines) received so
  /// far, in order.
  std::vector<std::string> heads() const;

 private:
  void serve();
  void handle(int fd);

  int listen_fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::map<std::string, HttpAnswer> routes_;
  std::vector<std::string> requests_;
  std::vector<std::string> heads_;
  std::vector<int> open_fds_;
  std::thread thread_;
};

}  // namespace testing_support
