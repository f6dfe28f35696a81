// A real llama.cpp server (llama-server) for the tests, on 127.0.0.1 and a
// free port, stopped when the object goes away. SLOTS_LLAMA_DIR names the
// folder that tools/llama/build prints: bin/llama-server, models/*.gguf.
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

/// The folder of the built server and its models; the test fails when unset.
std::string llama_dir();

class LlamaServer {
 public:
  /// Starts llama-server with `args` (the model among them; host, port and
  /// --no-ui are added) and waits until /health answers 200.
  explicit LlamaServer(std::vector<std::string> args);
  ~LlamaServer();
  LlamaServer(const LlamaServer&) = delete;
  LlamaServer& operator=(const LlamaServer&) = delete;

  /// The usual arguments for one model: two slots, a 4096 context, one thread.
  static std::vector<std::string> model_args(const std::string& model,
                                             std::vector<std::string> more = {});

  int port() const { return port_; }
  /// "http://127.0.0.1:PORT"
  std::string base() const;
  /// Stops the server (SIGTERM, then SIGKILL after 10 s) and waits for it and
  /// its own children.
  void stop();
  /// Starts it again on the same port with the same arguments.
  void start();
  bool running() const { return pid_ > 0; }

 private:
  std::vector<std::string> args_;
  int port_ = 0;
  int pid_ = -1;
  TempDir log_dir_;
};

}  // namespace testing_support
