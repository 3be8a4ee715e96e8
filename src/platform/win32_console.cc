// The process and its console on Windows.
#include <windows.h>

#include <cstdio>

#include "platform/console.h"
#include "platform/win_names.h"

namespace veltrim {

void start_process() {}

void print_text(const char* text) {
  // Messages are a few hundred bytes: the longest holds two names of at most 511 bytes.
  constexpr int kUnits = 4096;
  static wchar_t wide[kUnits];
  static char out[4 * kUnits];
  if (!bytes_to_wide(text, wide, kUnits)) {
    std::fputs(text, stdout);  // not from a name the system gave: leave it as it is
    return;
  }
  // Without a console of its own (output into a pipe or a file, under a service) the console
  // default, the OEM code page, is the one a reader expects.
  UINT cp = GetConsoleOutputCP();
  if (cp == 0) cp = GetOEMCP();
  // UTF-8 and UTF-7 take no replacement character; every other code page gets '?', and no
  // look-alike: "řez.css" shown as "rez.css" would name another file. A few code pages
  // refuse that flag; they get the plain conversion.
  const bool utf = cp == CP_UTF8 || cp == CP_UTF7;
  const char* const unknown = utf ? nullptr : "?";
  int n = WideCharToMultiByte(cp, utf ? 0 : WC_NO_BEST_FIT_CHARS, wide, -1, out, sizeof out,
                              unknown, nullptr);
  if (n == 0 && !utf) n = WideCharToMultiByte(cp, 0, wide, -1, out, sizeof out, unknown, nullptr);
  std::fputs(n > 0 ? out : text, stdout);
}

}  // namespace veltrim
