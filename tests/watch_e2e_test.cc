// The watch mode of the built program, on the system's own notifications: each way an editor
// saves, removal and return, files made later, failures, many files at once, and the end by a
// signal (on Windows a console's Ctrl+Break), with nothing of its own left behind. No test
// sleeps to wait for the watcher: each waits, up to a deadline, for what it expects.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "driver/messages.h"
#include "said.h"
#include "temp_dir.h"
#include "tool_process.h"

namespace veltrim::testing {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Long enough for a loaded machine or an emulator; a watch that works answers in milliseconds.
constexpr auto kDeadline = std::chrono::seconds(20);

// How a test ends the watcher.
enum End { INTERRUPT, TERMINATE, HANG_UP };

// The tool in watch mode, its messages going to a log file beside the watched folder.
class Watcher {
 public:
  struct Options {
    bool status = false;  // VELTRIM_STATUS=1
    long file_size_limit = 0;  // bytes; 0: none
  };

  Watcher(const std::vector<std::string>& names, Options options) { start(names, options); }
  Watcher(const std::vector<std::string>& names) : Watcher(names, Options{}) {}
  ~Watcher() {
    if (running()) stop(TERMINATE);
  }

  // The messages, with the console's CR LF line ends of Windows as "\n".
  std::string log() const { return with_lf(read_file(kLog)); }

  // Waits until the log holds `text` `times` times; false at the deadline.
  bool wait_for(const std::string& text, int times = 1) const {
    const auto until = Clock::now() + kDeadline;
    while (Clock::now() < until) {
      if (count(log(), text) >= times) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

  static int count(const std::string& text, const std::string& part) {
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  }

  // Ends the watcher and gives its exit status; -1 when it did not end by the deadline.
  int stop(End how);
  bool running() const;

 private:
  void start(const std::vector<std::string>& names, Options options);
  static constexpr const char* kLog = "watch.log";
#ifdef _WIN32
  HANDLE process_ = nullptr;
  DWORD id_ = 0;
#else
  pid_t pid_ = -1;
#endif
};

#ifdef _WIN32
void Watcher::start(const std::vector<std::string>& names, Options options) {
  std::wstring line = tool_line(L"--watch");
  for (const std::string& n : names) line += L" \"" + fs::u8path(n).wstring() + L"\"";
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const HANDLE log = CreateFileW(L"watch.log", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = log;
  si.hStdError = log;
  SetEnvironmentVariableW(L"VELTRIM_STATUS", options.status ? L"1" : nullptr);
  PROCESS_INFORMATION pi{};
  // A console of its own, which the tests attach to for sending its events; a process group
  // of its own, which Ctrl+Break reaches.
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE,
                      CREATE_NEW_CONSOLE | CREATE_NEW_PROCESS_GROUP, nullptr,
                      nullptr, &si, &pi)) {
    ADD_FAILURE() << "CreateProcessW: " << GetLastError();
  }
  SetEnvironmentVariableW(L"VELTRIM_STATUS", nullptr);
  CloseHandle(log);
  CloseHandle(pi.hThread);
  process_ = pi.hProcess;
  id_ = pi.dwProcessId;
}

bool Watcher::running() const {
  return process_ != nullptr;
}

// The tests, attached to a watcher's console, let its events pass.
BOOL WINAPI let_pass(DWORD) {
  return TRUE;
}

int Watcher::stop(End how) {
  // On the watcher's console: Ctrl+C to every process on it (the tests let it pass),
  // Ctrl+Break to its process group, or the console's window closed. Wine (8) delivers no
  // console control event to another process: there the watcher is ended outright.
  if (under_wine()) {
    TerminateProcess(process_, 1);
  } else if (FreeConsole(), AttachConsole(id_)) {
    SetConsoleCtrlHandler(let_pass, TRUE);
    if (how == INTERRUPT) GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    if (how == TERMINATE) GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, id_);
    if (how == HANG_UP) PostMessageW(GetConsoleWindow(), WM_CLOSE, 0, 0);
    FreeConsole();
  }
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(process_, static_cast<DWORD>(kDeadline / std::chrono::milliseconds(1))) !=
          WAIT_OBJECT_0 ||
      !GetExitCodeProcess(process_, &code)) {
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, INFINITE);
    code = static_cast<DWORD>(-1);
  }
  CloseHandle(process_);
  process_ = nullptr;
  return static_cast<int>(code);
}
#else
void Watcher::start(const std::vector<std::string>& names, Options options) {
  // Through the shell, so that a build for another processor starts it under its emulator.
  std::string command = "exec " + tool_command() + " --watch";
  for (const std::string& n : names) command += " \"" + n + "\"";
  // Emptied before the start, so that no wait reads a line of an earlier watcher.
  const int log = ::open(kLog, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  pid_ = fork();
  if (pid_ != 0) {
    ::close(log);
    return;
  }
  ::dup2(log, 1);
  ::dup2(log, 2);
  if (options.status) ::setenv("VELTRIM_STATUS", "1", 1);
  if (options.file_size_limit > 0) {
    const rlimit limit{static_cast<rlim_t>(options.file_size_limit),
                       static_cast<rlim_t>(options.file_size_limit)};
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
  ::_exit(127);
}

bool Watcher::running() const {
  return pid_ > 0;
}

int Watcher::stop(End how) {
  const int signals[] = {SIGINT, SIGTERM, SIGHUP};
  ::kill(pid_, signals[how]);
  const auto until = Clock::now() + kDeadline;
  int status = 0;
  while (::waitpid(pid_, &status, WNOHANG) == 0) {
    if (Clock::now() > until) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      pid_ = -1;
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

const std::string kIn = "a { b : c }";
const std::string kOk = "a{b :c }\r\n";
const std::string kIn2 = "a { b : d }";
const std::string kOk2 = "a{b :d }\r\n";

std::string done(const std::string& in) {
  return message(msg::kDone, in, in.substr(0, in.size() - 4) + ".olf");
}
// A result line after a save: its time stamp ends in "] ".
std::string again(const std::string& line) { return "] " + line; }

// Reads a whole file as a reader does that lets it be replaced meanwhile: on Windows one that
// shares it for deleting too (a reader that does not holds off the replace: see
// OutputHeldByAnotherProgram). False when it did not open, as a name may not for a moment
// while it is being replaced on Windows: that is no half file.
bool read_letting_replace(const char* name, std::string& bytes) {
#ifdef _WIN32
  const HANDLE h = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  CloseHandle(h);
  return true;
#else
  std::ifstream f(name, std::ios::binary);
  bytes.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  return f.is_open();
#endif
}

class Watch : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directory("site");
    write_file("site/a.css", kIn);
    write_file("site/b.css", kIn);
  }
  // Saves b.css and waits for its conversion: a watcher that would convert a.css twice for
  // one save has done so by then, its second conversion being due earlier.
  static void settle(Watcher& w, int saves_of_b = 1) {
    write_file("site/b.css", kIn2);
    EXPECT_TRUE(w.wait_for(again(done("site/b.css")), saves_of_b)) << w.log();
  }
  ScopedTempDir dir_;
};

// Each way editors save converts once, after the save is complete.
TEST_F(Watch, EachSaveStyleConvertsOnce) {
  const struct {
    const char* what;
    void (*save)(const Watcher& w);
  } rows[] = {
      {"in place, one write", [](const Watcher&) { write_file("site/a.css", kIn2); }},
      {"in place, several writes", [](const Watcher&) {
         std::FILE* f = std::fopen("site/a.css", "wb");
         for (const char c : kIn2) {
           std::fputc(c, f);
           std::fflush(f);
         }
         std::fclose(f);
       }},
      {"temporary file renamed over it", [](const Watcher&) {
         write_file("site/a.css.tmp~", kIn2);
         fs::rename("site/a.css.tmp~", "site/a.css");
       }},
      {"deleted and made again", [](const Watcher&) {
         fs::remove("site/a.css");
         write_file("site/a.css", kIn2);
       }},
      {"removed, told so, then back", [](const Watcher& w) {
         fs::remove("site/a.css");
         EXPECT_TRUE(w.wait_for(message(msg::kWatchRemoved, "site/a.css"))) << w.log();
         write_file("site/a.css", kIn2);
       }},
      {"moved in from another folder", [](const Watcher&) {
         write_file("elsewhere.css", kIn2);
         fs::rename("elsewhere.css", "site/a.css");
       }},
#ifdef _WIN32
      {"replaced by ReplaceFileW", [](const Watcher&) {
         write_file("site/a.new", kIn2);
         EXPECT_TRUE(ReplaceFileW(L"site\\a.css", L"site\\a.new", nullptr, 0, nullptr, nullptr));
       }},
#endif
  };
  for (const auto& row : rows) {
    write_file("site/a.css", kIn);
    Watcher w({"site/a.css", "site/b.css"});
    ASSERT_TRUE(w.wait_for(msg::kWatching)) << row.what << w.log();
    row.save(w);
    EXPECT_TRUE(w.wait_for(again(done("site/a.css")))) << row.what << w.log();
    settle(w);
    EXPECT_EQ(Watcher::count(w.log(), again(done("site/a.css"))), 1) << row.what << w.log();
    EXPECT_EQ(read_file("site/a.olf"), kOk2) << row.what;
  }
}

TEST_F(Watch, FolderTakesAFileMadeLater) {
  Watcher w({"site"});
  ASSERT_TRUE(w.wait_for(msg::kWatching)) << w.log();
  write_file("site/new.css", kIn2);
  write_file("site/notes.txt", kIn2);
  EXPECT_TRUE(w.wait_for(again(done("site/new.css")))) << w.log();
  EXPECT_EQ(read_file("site/new.olf"), kOk2);
  settle(w);
  EXPECT_EQ(folder_entries("site"), (std::vector<std::string>{"a.css", "a.olf", "b.css", "b.olf", "new.css",
                                                     "new.olf", "notes.txt"}));
}

// Regression: with the output written in place, a reader could find it cut short.
TEST_F(Watch, AReaderNeverSeesHalfAFile) {
#ifdef _WIN32
  // Seen under Wine 8 with a reader that shares the file for deleting: a replace refused past
  // its retries, and once a reader finding a file that was neither.
  if (under_wine()) GTEST_SKIP() << "Wine's replace of a file open elsewhere is not Windows'";
#endif
  std::string big;
  for (int i = 0; i < 40000; ++i) big += ".rule" + std::to_string(i) + " { color : red }\n";
  std::string big_olf;
  for (int i = 0; i < 40000; ++i) big_olf += ".rule" + std::to_string(i) + "{color :red }\r\n";
  write_file("site/a.css", big);
  Watcher w({"site/a.css"});
  ASSERT_TRUE(w.wait_for(msg::kWatching)) << w.log();
  std::atomic<bool> reading{true};
  std::atomic<int> halves{0};
  std::thread reader([&] {
    while (reading) {
      std::string seen;
      if (read_letting_replace("site/a.olf", seen) && seen != big_olf && seen != kOk2) ++halves;
    }
  });
  for (int save = 1; save <= 10; ++save) {
    write_file("site/a.css", save % 2 ? kIn2 : big);
    EXPECT_TRUE(w.wait_for(again(done("site/a.css")), save)) << w.log();
  }
  reading = false;
  reader.join();
  EXPECT_EQ(halves, 0);
}

// On Windows a program that holds the old output open without sharing it for deleting holds
// off the replace: it is tried again for a moment, then reported, the old output whole; the
// next save after the hold converts again.
TEST_F(Watch, OutputHeldByAnotherProgram) {
#ifndef _WIN32
  GTEST_SKIP() << "a POSIX rename replaces a file that others hold open";
#else
  Watcher w({"site/a.css"});
  ASSERT_TRUE(w.wait_for(msg::kWatching)) << w.log();
  HANDLE held = CreateFileW(L"site\\a.olf", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  write_file("site/a.css", kIn2);
  EXPECT_TRUE(w.wait_for(again(message(msg::kWriteFailed, "site/a.olf")))) << w.log();
  CloseHandle(held);
  EXPECT_EQ(read_file("site/a.olf"), kOk);
  EXPECT_EQ(folder_entries("site"), (std::vector<std::string>{"a.css", "a.olf", "b.css"}));
  write_file("site/a.css", kIn2 + " ");
  EXPECT_TRUE(w.wait_for(again(done("site/a.css")))) << w.log();
  EXPECT_EQ(read_file("site/a.olf"), kOk2);
#endif
}

TEST_F(Watch, FailedConversionKeepsTheOldOutput) {
#ifdef _WIN32
  GTEST_SKIP() << "POSIX resource limits only; the unit tests fail a conversion on every system";
#else
  std::string big;
  for (int i = 0; i < 4000; ++i) big += ".rule" + std::to_string(i) + " { color : red }\n";
  Watcher w({"site/a.css"}, {true, 16L * 1024});
  ASSERT_TRUE(w.wait_for(msg::kWatching)) << w.log();
  write_file("site/a.css", big);
  EXPECT_TRUE(w.wait_for(again(message(msg::kWriteFailed, "site/a.olf")))) << w.log();
  EXPECT_EQ(read_file("site/a.olf"), kOk);
  EXPECT_EQ(folder_entries("site"), (std::vector<std::string>{"a.css", "a.olf", "b.css"}));
  EXPECT_EQ(w.stop(INTERRUPT), 1);  // VELTRIM_STATUS=1: the last conversion failed
#endif
}

TEST_F(Watch, OutputThatIsASymbolicLinkIsRefused) {
#ifdef _WIN32
  GTEST_SKIP() << "POSIX symbolic links; the plain run's tests cover Windows links";
#else
  write_file("target.txt", "kept");
  fs::create_symlink("../target.txt", "site/a.olf");
  Watcher w({"site/a.css"});
  EXPECT_TRUE(w.wait_for(message(msg::kCannotWrite, "site/a.olf"))) << w.log();
  EXPECT_EQ(read_file("target.txt"), "kept");
  EXPECT_TRUE(fs::is_symlink("site/a.olf"));
#endif
}

// A git checkout: five hundred files changed at once, each converted once, none missed.
TEST_F(Watch, FiveHundredFilesAtOnce) {
  constexpr int kFiles = 500;
  const auto name = [](int i) { return "site/f" + std::to_string(i) + ".css"; };
  for (int i = 0; i < kFiles; ++i) write_file(name(i), kIn);
  Watcher w({"site"});
  ASSERT_TRUE(w.wait_for(msg::kWatching)) << w.log();
  for (int i = 0; i < kFiles; ++i) write_file(name(i), kIn2);
  EXPECT_TRUE(w.wait_for("] Soubor site/f", kFiles)) << w.log();
  settle(w);
  const std::string log = w.log();
  for (int i = 0; i < kFiles; ++i) {
    ASSERT_EQ(Watcher::count(log, again(done(name(i)))), 1) << name(i) << log;
    ASSERT_EQ(read_file("site/f" + std::to_string(i) + ".olf"), kOk2) << i << log;
  }
}

// Each way to end it leaves the outputs and nothing else, and ends with 0, also with
// VELTRIM_STATUS=1 when every last conversion went well; a save still waiting for its quiet
// time is dropped.
TEST_F(Watch, EndsOnSignalsWithNothingLeft) {
#ifdef _WIN32
  if (under_wine()) GTEST_SKIP() << "Wine delivers no console control event to another process";
#endif
  for (const End end : {INTERRUPT, TERMINATE, HANG_UP}) {
    Watcher w({"site"}, {true, 0});
    ASSERT_TRUE(w.wait_for(msg::kWatching)) << w.log();
    write_file("site/a.css", kIn2);
    EXPECT_EQ(w.stop(end), 0) << end << w.log();
    EXPECT_EQ(folder_entries("site"), (std::vector<std::string>{"a.css", "a.olf", "b.css", "b.olf"})) << end;
  }
}

}  // namespace
}  // namespace veltrim::testing
