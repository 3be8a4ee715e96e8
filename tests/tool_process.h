// Running the built tool, and other processes, as the end-to-end tests do: through the
// system's shell, with its output taken, under an emulator where the build needs one; and on
// Windows the consoles and the shell that a user's double-click goes through.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#endif

#include <gtest/gtest.h>

namespace veltrim::testing {

struct ToolRun {
  std::string raw;  // standard output as the console receives it
  std::string out;  // the same with line ends as "\n", for comparing with the message texts
  int status = -1;
};

// The command that starts the tool. A build for another processor starts it through its
// emulator (VELTRIM_RUNNER, from the build), and VELTRIM_TEST_RUNNER may name another, such as
// a processor model under qemu that lacks the wider instruction sets.
inline std::string tool_runner() {
  const char* env = std::getenv("VELTRIM_TEST_RUNNER");
  return env != nullptr ? env : VELTRIM_RUNNER;
}

inline std::string tool_command() {
  const std::string runner = tool_runner();
  return (runner.empty() ? "" : runner + " ") + "\"" VELTRIM_EXE "\"";
}

// Text the tool printed, with the console's CR LF line ends of Windows as "\n", for comparing
// with the message texts.
inline std::string with_lf(const std::string& raw) {
  std::string text;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (!(raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n')) text += raw[i];
  }
  return text;
}

// Runs a command line through the system's shell (sh, or cmd) and takes its standard output.
inline ToolRun run_command(const std::string& command) {
  ToolRun r;
#ifdef _WIN32
  // cmd.exe drops the first and the last quote of a command line: give it a pair to drop.
  // The arguments are UTF-8 and go as UTF-16, so that every name arrives exactly.
  const std::string cmd = "\"" + command + "\"";
  std::wstring wide(cmd.size() + 1, L'\0');
  wide.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, cmd.c_str(), -1, wide.data(),
                                                           static_cast<int>(wide.size()))) -
              1);
  FILE* p = _wpopen(wide.c_str(), L"rb");
#else
  FILE* p = popen(command.c_str(), "r");
#endif
  if (!p) return r;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.raw.append(buf, n);
#ifdef _WIN32
  r.status = _pclose(p);
#else
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
#endif
  r.out = with_lf(r.raw);
  return r;
}

// Runs the tool in the current folder with each argument passed as it is; on POSIX after the
// shell commands in `prefix`.
inline ToolRun run_tool(const std::vector<std::string>& args, const std::string& prefix = "") {
  std::string cmd = tool_command();
  for (const std::string& a : args) cmd += " \"" + a + "\"";
#ifdef _WIN32
  (void)prefix;
  return run_command(cmd);
#else
  return run_command(prefix + cmd);
#endif
}

// What the tool wrote to standard error, given what the run did: an emulator's own warnings
// (qemu's, of processor features it lacks) are left out.
inline std::string tool_errors(const std::string& text) {
  std::string kept;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size() - 1) + 1;
    if (text.compare(at, 5, "qemu-") != 0) kept.append(text, at, end - at);
    at = end;
  }
  return kept;
}

// Sets an environment variable for the runs in its scope, which inherit it.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) { set(value); }
  ~ScopedEnv() { set(""); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  void set(const char* value) {
#ifdef _WIN32
    _putenv_s(name_, value);  // "" removes it
#else
    if (*value != '\0') setenv(name_, value, 1); else unsetenv(name_);
#endif
  }
  const char* name_;
};

#ifdef _WIN32
// The command line that starts the tool with `args`, for CreateProcessW.
inline std::wstring tool_line(const std::wstring& args) {
  return L"\"" + std::filesystem::u8path(VELTRIM_EXE).wstring() + L"\" " + args;
}

// Whether this runs under Wine, whose Windows differs from Windows' own in places.
inline bool under_wine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// Runs a POSIX shell script in the current folder, when this is Wine: a Windows program there
// cannot make two names that differ in letter case alone, since Wine opens either as the
// other. False elsewhere.
inline bool run_unix_script(const std::string& script) {
  using Spawn = long(__cdecl*)(char* const*, int);
  using UnixName = char*(__cdecl*)(const wchar_t*);
  const auto spawn = reinterpret_cast<Spawn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll"), "__wine_unix_spawnvp")));
  const auto unix_name = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
  if (spawn == nullptr || unix_name == nullptr) return false;
  char* here = unix_name(std::filesystem::current_path().wstring().c_str());
  if (here == nullptr) return false;
  std::string line = "cd '" + std::string(here) + "' && " + script;
  HeapFree(GetProcessHeap(), 0, here);
  char sh[] = "/bin/sh";
  char c[] = "-c";
  char* argv[] = {sh, c, line.data(), nullptr};
  return spawn(argv, 1) == 0;
}

// The short (8.3) name that the file system keeps for an existing file beside its own, or ""
// where it keeps none.
inline std::string short_name(const std::string& name) {
  wchar_t buf[MAX_PATH];
  const DWORD n = GetShortPathNameW(std::filesystem::u8path(name).c_str(), buf, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return "";
  const std::string s = std::filesystem::path(buf).u8string();
  return s == name ? "" : s;
}

// Starts the tool on a console of its own, as a double-click or a dropped file does; with
// `out` set, its standard output goes there instead.
inline PROCESS_INFORMATION start_on_new_console(const std::wstring& args, HANDLE out = nullptr) {
  std::wstring line = tool_line(args);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  if (out) {
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = out;
  }
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, out != nullptr, CREATE_NEW_CONSOLE,
                      nullptr, nullptr, &si, &pi)) {
    ADD_FAILURE() << "CreateProcessW: " << GetLastError();
  }
  CloseHandle(pi.hThread);
  return pi;
}

// The text on the first lines of the console this process is attached to; empty when that
// console does not work (Wine without a display gives a new console no screen).
inline std::string console_screen() {
  HANDLE screen =
      CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  std::string text(80 * 10, ' ');
  DWORD got = 0;
  if (!ReadConsoleOutputCharacterA(screen, text.data(), static_cast<DWORD>(text.size()), {0, 0},
                                   &got)) {
    text.clear();
  }
  CloseHandle(screen);
  return text;
}

inline void press_enter() {
  HANDLE keys = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  INPUT_RECORD rec[2] = {};
  for (int i = 0; i < 2; ++i) {
    rec[i].EventType = KEY_EVENT;
    rec[i].Event.KeyEvent.bKeyDown = i == 0;
    rec[i].Event.KeyEvent.wRepeatCount = 1;
    rec[i].Event.KeyEvent.wVirtualKeyCode = VK_RETURN;
    rec[i].Event.KeyEvent.uChar.UnicodeChar = L'\r';
  }
  DWORD put = 0;
  EXPECT_TRUE(WriteConsoleInputW(keys, rec, 2, &put));
  CloseHandle(keys);
}

#ifdef VELTRIM_SHELL_LAUNCHER
// Starts the tool the way the Windows shell does: through the stand-in explorer.exe, which
// gives it a console of its own and reports its process.
inline PROCESS_INFORMATION start_from_the_shell(const std::wstring& args) {
  PROCESS_INFORMATION pi{};
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return pi;
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  std::wstring line =
      L"\"" + std::filesystem::u8path(VELTRIM_SHELL_LAUNCHER).wstring() + L"\" " + tool_line(args);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = write_end;
  PROCESS_INFORMATION shell{};
  const bool started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE,
                                      CREATE_NO_WINDOW, nullptr, nullptr, &si, &shell);
  CloseHandle(write_end);
  std::string id;
  char c;
  DWORD got = 0;
  while (started && ReadFile(read_end, &c, 1, &got, nullptr) && got == 1 && c != '\n') id += c;
  CloseHandle(read_end);
  if (!started || id.empty()) {
    ADD_FAILURE() << "the stand-in shell did not start the tool";
    return pi;
  }
  CloseHandle(shell.hThread);
  CloseHandle(shell.hProcess);  // it ends with the tool
  pi.dwProcessId = static_cast<DWORD>(std::stoul(id));
  pi.hProcess = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pi.dwProcessId);
  return pi;
}
#endif

// Starts the tool with `args` and the given standard handles, which must be inheritable
// (nullptr: none); a null process when it did not start.
inline HANDLE start_with_handles(const std::wstring& args, HANDLE in, HANDLE out, HANDLE err = nullptr) {
  std::wstring line = tool_line(args);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = in;
  si.hStdOutput = out;
  si.hStdError = err;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &si, &pi)) {
    return nullptr;
  }
  CloseHandle(pi.hThread);
  return pi.hProcess;
}

// Waits for a started tool to end: its exit code, or -1 when it did not start or was still
// running after 20 s (then it is ended).
inline int exit_code(HANDLE process) {
  if (process == nullptr) return -1;
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(process, 20000) != WAIT_OBJECT_0 || !GetExitCodeProcess(process, &code)) {
    TerminateProcess(process, 1);
    code = static_cast<DWORD>(-1);
  }
  CloseHandle(process);
  return static_cast<int>(code);
}

inline int run_with_handles(const std::wstring& args, HANDLE in, HANDLE out, HANDLE err = nullptr) {
  return exit_code(start_with_handles(args, in, out, err));
}

// Opens a file as a handle that a started process inherits.
inline HANDLE inheritable_file(const wchar_t* name, DWORD access, DWORD disposition = OPEN_EXISTING) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return CreateFileW(name, access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Starts a command line and waits for it to end; false when it is still running after 20 s
// (then it is ended).
inline bool ends_by_itself(std::wstring line, DWORD flags) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr, &si,
                      &pi)) {
    ADD_FAILURE() << "CreateProcessW: " << GetLastError();
    return false;
  }
  CloseHandle(pi.hThread);
  const DWORD waited = WaitForSingleObject(pi.hProcess, 20000);
  TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hProcess);
  return waited == WAIT_OBJECT_0;
}

#endif

}  // namespace veltrim::testing
