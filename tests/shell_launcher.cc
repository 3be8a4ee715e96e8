// A stand-in for the Windows shell in the console tests: built as explorer.exe, it starts the
// command line it is given on a console of its own, as a double-click does, writes the new
// process's id on standard output and waits for it to end.
#include <windows.h>

#include <cstdio>

int wmain() {
  // The command line after this program's own name, quoted or not.
  wchar_t* rest = GetCommandLineW();
  const bool quoted = *rest == L'"';
  for (++rest; *rest != 0 && *rest != (quoted ? L'"' : L' '); ++rest) {
  }
  if (*rest == L'"') ++rest;
  while (*rest == L' ') ++rest;

  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, rest, nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr,
                      nullptr, &si, &pi)) {
    return 2;
  }
  std::printf("%lu\n", static_cast<unsigned long>(pi.dwProcessId));
  std::fflush(stdout);
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  return static_cast<int>(code);
}
