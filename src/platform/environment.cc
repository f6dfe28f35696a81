// Reading the environment is the same everywhere: the C runtime's getenv.
#include <cstdlib>

#include "platform/platform.h"

namespace platform {

Environment Environment::given(const Vars& vars) {
  Environment env;
  env.own_ = true;
  for (const auto& [name, value] : vars) {
    if (value != nullptr) env.vars_.emplace_back(name, value);
  }
  return env;
}

const char* Environment::get(const char* name) const {
  if (!own_) return std::getenv(name);
  for (const auto& [key, value] : vars_) {
    if (key == name) return value.c_str();
  }
  return nullptr;
}

}  // namespace platform
