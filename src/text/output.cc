#include "text/output.h"

namespace text {

void Output::raw(std::string_view bytes) {
  if (bytes.empty()) return;
  if (sink_ != nullptr) {
    sink_->append(bytes);
  } else {
    std::fwrite(bytes.data(), 1, bytes.size(), stream_);
  }
}

void Output::json_str(std::string_view text) {
  const std::size_t nul = text.find('\0');
  if (nul != std::string_view::npos) text = text.substr(0, nul);
  // Runs of bytes that need no escape are written in one piece.
  raw("\"");
  std::size_t run = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const char* escape = nullptr;
    switch (c) {
      case '"':
        escape = "\\\"";
        break;
      case '\\':
        escape = "\\\\";
        break;
      case '\n':
        escape = "\\n";
        break;
      case '\r':
        escape = "\\r";
        break;
      case '\t':
        escape = "\\t";
        break;
      default:
        if (c >= 32 && c != 127) continue;
        escape = "";  // other control bytes are dropped
    }
    raw(text.substr(run, i - run));
    raw(escape);
    run = i + 1;
  }
  raw(text.substr(run));
  raw("\"");
}

void reply_json_err(Output& out, std::string_view status, std::string_view message,
                    std::string_view url) {
  out.raw("Status: ");
  out.raw(status);
  out.raw("\r\n");
  out.raw(kJsonHeader);
  out.raw("{\"ok\":false,\"error\":");
  out.json_str(message);
  if (!url.empty() && url[0] != '\0') {
    out.raw(",\"url\":");
    out.json_str(url);
  }
  out.raw("}\n");
}

}  // namespace text
