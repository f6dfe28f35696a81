#include "sessions/session_roots.h"

#include "text/bounded.h"

namespace slots {

namespace {

// Appends "<base>/<first>/sessions" when the base is known and the folder is
// a directory.
void add_under_base(const std::string& base, const char* folder, std::vector<std::string>* roots) {
  if (base.empty()) return;
  std::string candidate = base;
  candidate += platform::kPathSep;
  candidate += folder;
  candidate += platform::kPathSep;
  candidate += "sessions";
  if (text::is_dir(candidate)) roots->push_back(text::str_copy(candidate, kRootCapacity));
}

}  // namespace

std::vector<std::string> collect_default_roots(const platform::Environment& env) {
  std::vector<std::string> roots;
  roots.reserve(3);
  if (env.sessions_dir != nullptr && env.sessions_dir[0] != '\0' &&
      text::is_dir(env.sessions_dir)) {
    roots.push_back(text::str_copy(env.sessions_dir, kRootCapacity));
  }
  add_under_base(platform::app_data_base(env), "velunora", &roots);
  add_under_base(platform::profile_base(env), ".velunora", &roots);
  return roots;
}

}  // namespace slots
