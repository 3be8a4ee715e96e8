// The command-line front end: name checks, file handling and messages.
#pragma once

#include <cstddef>

namespace veltrim {

// Room for a file name and its terminating NUL.
constexpr std::size_t kNameSize = 512;

enum NameCheck {
  NAME_OK,
  NAME_TOO_SHORT,       // under 5 bytes: "a.css" is the shortest usable name
  NAME_TOO_LONG,        // over 511 bytes: it would not fit the name buffers
  NAME_NO_CSS,          // ".css" nowhere in the name
  NAME_CSS_NOT_AT_END,  // ".css" in the name, but not as its end
};

// Checks an input name (".css" at its end, in any letter case) and, when it passes, writes
// the output name into out_name: the same name with its last four bytes replaced by ".olf".
NameCheck check_name(const char* arg, char (&out_name)[kNameSize]);

// The whole program: banner, checks, conversion, report. Always returns 0.
int run_veltrim(int argc, char** argv);

}  // namespace veltrim
