// The process and its console on POSIX systems.
#include <signal.h>

#include <cstdio>

#include "platform/console.h"

namespace veltrim {

void start_process() {
  ::signal(SIGXFSZ, SIG_IGN);
}

void print_text(const char* text) {
  std::fputs(text, stdout);
}

void print_error(const char* text) {
  std::fputs(text, stderr);
}

bool started_by_the_shell() {
  return false;
}

// A terminal outlives the programs run in it.
bool should_wait_for_enter() {
  return false;
}

void wait_for_enter() {}

}  // namespace veltrim
