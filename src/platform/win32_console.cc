// The process and its console on Windows.
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <cstdint>
#include <cstdio>

#include "platform/console.h"
#include "text/codec.h"

namespace veltrim {

void start_process() {}

namespace {

// A surrogate pair that the code page lacks becomes its high half alone: a lone surrogate is
// in no code page, and makes one '?' where the pair would make one for each unit. (GB18030
// holds every pair; the others hold none.)
void one_unit_for_a_missing_pair(wchar_t* wide, UINT cp) {
  std::size_t to = 0;
  for (std::size_t i = 0; wide[i] != 0; ++i) {
    wide[to++] = wide[i];
    if (!is_high_surrogate(static_cast<std::uint16_t>(wide[i])) ||
        !is_low_surrogate(static_cast<std::uint16_t>(wide[i + 1]))) {
      continue;
    }
    char bytes[8];
    BOOL missing = FALSE;
    const int n = WideCharToMultiByte(cp, 0, wide + i, 2, bytes, sizeof bytes, "?", &missing);
    if (n > 0 && !missing) wide[to++] = wide[i + 1];
    ++i;
  }
  wide[to] = 0;
}

void print_to(std::FILE* stream, const char* text) {
  // Messages are a few hundred units: the longest holds two names of at most 511 units.
  constexpr int kUnits = 4096;
  wchar_t wide[kUnits];
  char out[4 * kUnits];
  if (!bytes_to_wide(text, wide, kUnits)) {
    std::fputs(text, stream);  // not from a name the system gave: leave it as it is
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
  if (!utf) one_unit_for_a_missing_pair(wide, cp);
  const char* const unknown = utf ? nullptr : "?";
  int n = WideCharToMultiByte(cp, utf ? 0 : WC_NO_BEST_FIT_CHARS, wide, -1, out, sizeof out,
                              unknown, nullptr);
  if (n == 0 && !utf) n = WideCharToMultiByte(cp, 0, wide, -1, out, sizeof out, unknown, nullptr);
  std::fputs(n > 0 ? out : text, stream);
}

}  // namespace

// The process that started this one runs explorer.exe. `start`, Task Scheduler, a service or
// any other program gives a console of its own too, but is not the shell.
bool started_by_the_shell() {
  const HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return false;
  const DWORD self = GetCurrentProcessId();
  DWORD parent = 0;
  bool found = false;
  PROCESSENTRY32W e{};
  e.dwSize = sizeof e;
  for (BOOL more = Process32FirstW(snap, &e); more && !found; more = Process32NextW(snap, &e)) {
    if (e.th32ProcessID == self) parent = e.th32ParentProcessID, found = true;
  }
  bool shell = false;
  e.dwSize = sizeof e;
  for (BOOL more = found && Process32FirstW(snap, &e); more; more = Process32NextW(snap, &e)) {
    if (e.th32ProcessID == parent) {
      shell = CompareStringOrdinal(e.szExeFile, -1, L"explorer.exe", -1, TRUE) == CSTR_EQUAL;
      break;
    }
  }
  CloseHandle(snap);
  return shell;
}

void print_text(const char* text) {
  print_to(stdout, text);
}

void print_error(const char* text) {
  print_to(stderr, text);
}

bool should_wait_for_enter() {
  DWORD ids[2];
  if (GetConsoleProcessList(ids, 2) != 1) return false;
  // Both ends on that console: with either redirected a script is reading or feeding it.
  DWORD mode;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0 &&
         GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0 && started_by_the_shell();
}

void wait_for_enter() {
  std::fflush(stdout);
  // Line input: the read returns when Enter ends the line. A key pressed during the run
  // counts too, which at worst ends the wait early.
  const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  wchar_t c;
  DWORD got;
  while (ReadConsoleW(in, &c, 1, &got, nullptr) != 0 && got == 1 && c != L'\r' && c != L'\n') {
  }
}

}  // namespace veltrim
