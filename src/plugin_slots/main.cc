// Entry point: one CGI request per process.
#include <cstdio>

#include "platform/platform.h"
#include "plugin_slots/dispatch.h"

int main(int argc, char** argv) {
  platform::prepare_stdout();
  const platform::Environment env = platform::Environment::process();
  text::Output out(stdout);
  return slots::run_request(argc, argv, env, out);
}
