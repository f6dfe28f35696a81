// A real llama.cpp server (llama-server) for the tests, started and stopped
// through tools/llama/serve, the launcher the page's tests use too: on
// 127.0.0.1 and a free port, stopped when the object goes away.
// SLOTS_LLAMA_DIR names the folder that tools/llama/build prints.
#pragma once

#include <string>
#include <vector>

#include "harness.h"

namespace testing_support {

/// What an HTTP request to a server answered.
struct HttpReply {
  int status = 0;  ///< 0 when there was no answer
  std::string body;
};

/// One HTTP/1.1 request on its own connection ("Connection: close"), at most
/// `timeout_s` seconds. `headers` are whole lines without CR LF.
HttpReply http_request(int port, const std::string& method, const std::string& target,
                       const std::string& body = "", const std::vector<std::string>& headers = {},
                       int timeout_s = 120);

class LlamaServer {
 public:
  /// Starts llama-server through tools/llama/serve with `args` (the
  /// launcher's: --model NAME or --router NAMES, then llama-server's own)
  /// and waits until /health answers 200.
  explicit LlamaServer(std::vector<std::string> args);
  ~LlamaServer();
  LlamaServer(const LlamaServer&) = delete;
  LlamaServer& operator=(const LlamaServer&) = delete;

  /// One model of the built server's folder, then llama-server's `more`.
  static std::vector<std::string> model_args(const std::string& model,
                                             std::vector<std::string> more = {});

  int port() const { return port_; }
  /// "http://127.0.0.1:PORT"
  std::string base() const;
  /// Stops the server and waits until it and its own children are gone.
  void stop();
  /// Starts it again on the same port with the same arguments.
  void start();
  bool running() const { return pid_ > 0; }

 private:
  std::vector<std::string> args_;
  int port_ = 0;
  int pid_ = -1;       ///< the launcher's
  int to_serve_ = -1;  ///< the launcher's standard input: closing it stops the server
  TempDir log_dir_;
};

}  // namespace testing_support
