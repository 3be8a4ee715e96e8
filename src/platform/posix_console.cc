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

}  // namespace veltrim
