// Fuzzes one whole request in-process: the metadata test, the access check,
// the routing and every responder, with the output captured.
//
// Input: an environment block, "NAME=value" records separated by NUL bytes
// (as the operating system hands them over, values can hold no NUL). The
// names read are the request's: QUERY_STRING, QV_PLUGIN_META, BOT_PASSWORD,
// HTTP_X_BOT_PASSWORD, HTTP_AUTHORIZATION, HTTP_REFERER, QV_LLAMA_API_KEYS
// (whose keys are looked up before curl is started), QV_LLAMA_SERVERS and
// QV_LLAMA_ADDRESSES; ARGV1 stands for
// the first command-line argument. The first record of a name wins; a name
// without a record is unset.
//
// The session roots and the tool are fixed: QV_SESSIONS_DIR is a small tree
// of sessions made at start, the multiplexer tool does not exist, and PATH is
// an empty folder, so neither curl nor the tool can ever be started and every
// run stays in this process.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "plugin_slots/access.h"
#include "plugin_slots/dispatch.h"
#include "response_check.h"
#include "text/output.h"

namespace {

namespace fs = std::filesystem;

fs::path g_work;
std::string g_roots;
std::string g_tool;
std::string g_page;  // the first page seen; every later one must be the same

void write(const fs::path& path, std::string_view bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void remove_work() {
  std::error_code ec;
  fs::remove_all(g_work, ec);
}

// Session directories of every kind the slots call and the sessions call
// tell apart. Every slots.json holds valid JSON, so every JSON answer the
// program gives must be valid JSON too.
void make_sessions(const fs::path& root) {
  write(root / "web" / "slots.json", "[{\"id\":0,\"n_ctx\":2048,\"is_processing\":false}]\n");
  write(root / "api.v2" / "slots.json", "{\"error\":{\"code\":501,\"message\":\"off\"}}");
  write(root / "host:1" / "slots.json", "[]");
  write(root / "one" / "slots.json", "[");
  write(root / "empty" / "slots.json", "");
  write(root / "meta-only" / "meta.json", "{}");
  fs::create_directories(root / "dir-slots" / "slots.json");
  fs::create_directories(root / "bare");
  write(root / ".hidden" / "slots.json", "[]");
  write(root / "notes.txt", "not a session");
}

bool is_request_name(std::string_view name) {
  for (std::string_view known : {"ARGV1", "QV_PLUGIN_META", "QUERY_STRING", "BOT_PASSWORD",
                                 "HTTP_X_BOT_PASSWORD", "HTTP_AUTHORIZATION", "HTTP_REFERER",
                                 "QV_LLAMA_API_KEYS", "QV_LLAMA_SERVERS", "QV_LLAMA_ADDRESSES"}) {
    if (name == known) return true;
  }
  return false;
}

std::map<std::string, std::string> parse_block(std::string_view block) {
  std::map<std::string, std::string> vars;
  while (!block.empty()) {
    const std::size_t end = std::min(block.find('\0'), block.size());
    const std::string_view record = block.substr(0, end);
    block.remove_prefix(std::min(end + 1, block.size()));
    const std::size_t eq = record.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string name(record.substr(0, eq));
    if (is_request_name(name)) vars.emplace(name, record.substr(eq + 1));
  }
  return vars;
}

const char* lookup(const std::map<std::string, std::string>& vars, const char* name) {
  const auto it = vars.find(name);
  return it == vars.end() ? nullptr : it->second.c_str();
}

void check_response(const std::map<std::string, std::string>& vars, const std::string& out,
                    int status) {
  fuzz::check(status == 0, "exit status not 0");
  const char* argv1 = lookup(vars, "ARGV1");
  const bool meta = (argv1 != nullptr && std::string_view(argv1) == "--meta") ||
                    lookup(vars, "QV_PLUGIN_META") != nullptr;
  if (meta) {
    fuzz::check(out == slots::kMetaLine, "metadata request not answered by the metadata line", out);
    return;
  }

  const char* password = lookup(vars, "BOT_PASSWORD");
  const bool guarded = password != nullptr && password[0] != '\0';
  const bool no_credential = lookup(vars, "HTTP_X_BOT_PASSWORD") == nullptr &&
                             lookup(vars, "HTTP_AUTHORIZATION") == nullptr &&
                             lookup(vars, "QUERY_STRING") == nullptr &&
                             lookup(vars, "HTTP_REFERER") == nullptr;
  if (guarded && no_credential) {
    fuzz::check(out == slots::kUnauthorized, "request without any credential not refused", out);
  }
  if (!guarded) {
    fuzz::check(out != slots::kUnauthorized, "refused although no password is set", out);
  }

  const fuzz::CgiResponse r = fuzz::split_response(out);
  if (r.content_type == "text/html; charset=utf-8") {
    fuzz::check(r.status.empty(), "the page with a Status line", out);
    if (g_page.empty()) g_page = out;
    fuzz::check(out == g_page, "the page differs between requests");
    return;
  }
  fuzz::check(r.content_type == "application/json; charset=utf-8", "unknown Content-Type", out);
  fuzz::check(!r.body.empty() && r.body.back() == '\n', "JSON body not ended by a line feed", out);
  const std::string_view json = r.body.substr(0, r.body.size() - 1);
  fuzz::check(fuzz::JsonShape::valid(json), "JSON body is not valid JSON", out);
  if (!r.status.empty()) {
    fuzz::check(json.substr(0, 20) == "{\"ok\":false,\"error\":", "error answer without envelope",
                out);
    fuzz::check(r.status == "400 Bad Request" || r.status == "401 Unauthorized" ||
                    r.status == "403 Forbidden" || r.status == "404 Not Found" ||
                    r.status == "502 Bad Gateway",
                "unexpected status", out);
  }
  // Only the allow-list refuses an address, and with no server configured it
  // lets nothing reach curl (here: the 502 of a curl that cannot start).
  const char* addresses = lookup(vars, "QV_LLAMA_ADDRESSES");
  const bool only_configured = addresses != nullptr && std::string_view(addresses) == "configured";
  if (r.status == "403 Forbidden") {
    fuzz::check(only_configured, "403 without QV_LLAMA_ADDRESSES=configured", out);
  }
  const char* servers = lookup(vars, "QV_LLAMA_SERVERS");
  if (only_configured && (servers == nullptr || servers[0] == '\0')) {
    fuzz::check(r.status != "502 Bad Gateway", "a fetch with no server configured", out);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::random_device rd;
  g_work = fs::temp_directory_path() / ("slots-fuzz-" + std::to_string(rd()));
  fs::create_directories(g_work / "empty-path");
  make_sessions(g_work / "roots");
  std::atexit(remove_work);
  g_roots = (g_work / "roots").string();
  g_tool = (g_work / "no-such-tool").string();
  // Child programs are looked up on this process's PATH: an empty folder
  // finds none (an unset PATH would fall back to the system's folders).
  setenv("PATH", (g_work / "empty-path").c_str(), 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto vars = parse_block(std::string_view(reinterpret_cast<const char*>(data), size));

  platform::Environment::Vars given = {{"QV_SESSIONS_DIR", g_roots.c_str()},
                                       {"VELUNORA_TMUX_BIN", g_tool.c_str()}};
  for (const char* name : {"QUERY_STRING", "QV_PLUGIN_META", "BOT_PASSWORD", "HTTP_X_BOT_PASSWORD",
                           "HTTP_AUTHORIZATION", "HTTP_REFERER", "QV_LLAMA_API_KEYS",
                           "QV_LLAMA_SERVERS", "QV_LLAMA_ADDRESSES"}) {
    given.emplace_back(name, lookup(vars, name));
  }
  const platform::Environment env = platform::Environment::given(given);

  const char* argv1 = lookup(vars, "ARGV1");
  const char* argv[] = {"slots", argv1, nullptr};
  const int argc = argv1 != nullptr ? 2 : 1;

  std::string out;
  text::Output output(&out);
  const int status = slots::run_request(argc, argv, env, output);
  check_response(vars, out, status);
  return 0;
}
