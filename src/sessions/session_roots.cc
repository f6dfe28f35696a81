#include "sessions/session_roots.h"

#include "sessions/user_folders.h"
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
  if (platform::is_dir(candidate)) roots->push_back(text::str_copy(candidate, kRootCapacity));
}

}  // namespace

std::vector<std::string> collect_default_roots(const platform::Environment& env) {
  std::vector<std::string> roots;
  roots.reserve(3);
  const char* sessions_dir = env.get("QV_SESSIONS_DIR");
  if (sessions_dir != nullptr && sessions_dir[0] != '\0' && platform::is_dir(sessions_dir)) {
    roots.push_back(text::str_copy(sessions_dir, kRootCapacity));
  }
  add_under_base(app_data_base(env), "velunora", &roots);
  add_under_base(profile_base(env), ".velunora", &roots);
  return roots;
}

}  // namespace slots
