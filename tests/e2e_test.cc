// The built program, run the way a user runs it, in a scoped temporary folder: standard
// output and the files it leaves are compared byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
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

const std::string kBanner = msg::kBanner;

std::string done(const std::string& in, const std::string& out) { return message(msg::kDone, in, out); }
std::string read_refused(const std::string& name) { return message(msg::kCannotRead, name); }
std::string write_refused(const std::string& name) { return message(msg::kCannotWrite, name); }

#ifndef _WIN32
// Makes `name` the device of a full disk (Linux's /dev/full: every write fails with ENOSPC),
// itself and not a link to it, which the tool refuses before writing. Needs the right to
// make devices, which root has; false elsewhere.
bool make_full_disk(const char* name) {
  if (mknod(name, S_IFCHR | 0666, makedev(1, 7)) != 0) return false;
  const int fd = open(name, O_WRONLY);
  const bool full = fd >= 0 && write(fd, "x", 1) < 0 && errno == ENOSPC;
  if (fd >= 0) close(fd);
  return full;
}
#endif

// A stylesheet of 600 KB, whose line form is more than any buffer or pipe holds.
std::string big_sheet() {
  std::string big;
  while (big.size() < 600000) big += "rule { color : red } /* note */\n";
  return big;
}

// The filter started on pipes whose ends on its side are non-blocking, as Node and Python
// hand them to their children: POSIX O_NONBLOCK, Windows PIPE_NOWAIT.
class NonBlockingFilter {
 public:
  NonBlockingFilter();
  ~NonBlockingFilter();
  NonBlockingFilter(const NonBlockingFilter&) = delete;
  NonBlockingFilter& operator=(const NonBlockingFilter&) = delete;
  bool started() const { return started_; }
  // Feeds input, blocking on this side; false once the tool has closed its end.
  bool feed(const char* data, std::size_t size);
  void end_input();
  // Everything the tool writes, to its end; then its exit status.
  std::string drain();
  int status();

 private:
  bool started_ = false;
#ifdef _WIN32
  HANDLE feed_ = nullptr;
  HANDLE drain_ = nullptr;
  HANDLE tool_ = nullptr;
#else
  int feed_ = -1;
  int drain_ = -1;
  pid_t tool_ = -1;
  void (*old_pipe_signal_)(int) = nullptr;
#endif
};

#ifdef _WIN32
NonBlockingFilter::NonBlockingFilter() {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE tool_in = nullptr;
  HANDLE tool_out = nullptr;
  if (!CreatePipe(&tool_in, &feed_, &inherit, 0)) return;
  if (!CreatePipe(&drain_, &tool_out, &inherit, 0)) return;
  SetHandleInformation(feed_, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(drain_, HANDLE_FLAG_INHERIT, 0);
  DWORD nowait = PIPE_NOWAIT;
  if (SetNamedPipeHandleState(tool_in, &nowait, nullptr, nullptr) &&
      SetNamedPipeHandleState(tool_out, &nowait, nullptr, nullptr)) {
    tool_ = start_with_handles(L"-", tool_in, tool_out);
    started_ = tool_ != nullptr;
  }
  CloseHandle(tool_in);  // the tool's own copies keep the pipes open
  CloseHandle(tool_out);
}
NonBlockingFilter::~NonBlockingFilter() {
  end_input();
  if (drain_ != nullptr) CloseHandle(drain_);
  if (tool_ != nullptr) status();
}
bool NonBlockingFilter::feed(const char* data, std::size_t size) {
  DWORD put = 0;
  return WriteFile(feed_, data, static_cast<DWORD>(size), &put, nullptr) != 0;
}
void NonBlockingFilter::end_input() {
  if (feed_ != nullptr) CloseHandle(feed_);
  feed_ = nullptr;
}
std::string NonBlockingFilter::drain() {
  std::string got;
  char buf[65536];
  for (DWORD n = 0; ReadFile(drain_, buf, sizeof buf, &n, nullptr) && n > 0;) got.append(buf, n);
  return got;
}
int NonBlockingFilter::status() {
  const int code = exit_code(tool_);
  tool_ = nullptr;
  return code;
}
#else
NonBlockingFilter::NonBlockingFilter() {
  int to_tool[2];
  int from_tool[2];
  if (pipe(to_tool) != 0) return;
  if (pipe(from_tool) != 0) return;
  // The tool's ends only: each end of a pipe has its flags of its own.
  fcntl(to_tool[0], F_SETFL, fcntl(to_tool[0], F_GETFL) | O_NONBLOCK);
  fcntl(from_tool[1], F_SETFL, fcntl(from_tool[1], F_GETFL) | O_NONBLOCK);
  // A tool that gives up early closes its input: feeding it then fails, instead of ending
  // the test by SIGPIPE.
  old_pipe_signal_ = signal(SIGPIPE, SIG_IGN);
  const std::string command = "timeout 20 " + tool_command() + " - 2>err.txt";
  tool_ = fork();
  if (tool_ == 0) {
    dup2(to_tool[0], 0);
    dup2(from_tool[1], 1);
    for (int fd : {to_tool[0], to_tool[1], from_tool[0], from_tool[1]}) close(fd);
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(to_tool[0]);
  close(from_tool[1]);
  feed_ = to_tool[1];
  drain_ = from_tool[0];
  started_ = tool_ > 0;
}
NonBlockingFilter::~NonBlockingFilter() {
  end_input();
  if (drain_ >= 0) close(drain_);
  if (tool_ > 0) status();
  signal(SIGPIPE, old_pipe_signal_);
}
bool NonBlockingFilter::feed(const char* data, std::size_t size) {
  return write(feed_, data, size) == static_cast<ssize_t>(size);
}
void NonBlockingFilter::end_input() {
  if (feed_ >= 0) close(feed_);
  feed_ = -1;
}
std::string NonBlockingFilter::drain() {
  std::string got;
  char buf[65536];
  for (ssize_t n; (n = read(drain_, buf, sizeof buf)) > 0;) got.append(buf, static_cast<std::size_t>(n));
  return got;
}
int NonBlockingFilter::status() {
  int st = -1;
  waitpid(tool_, &st, 0);
  tool_ = -1;
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}
#endif

class Tool : public ::testing::Test {
 protected:
  ScopedTempDir dir_;
};

const std::string kHelp = [] {
  std::string all;
  for (const char* line : msg::kHelp) all += line;
  return all;
}();

// The usual ways to ask for help were taken as bad file names ("(delka<5)", "(chybi .css)").
TEST_F(Tool, HelpAndVersionSwitches) {
  const struct {
    std::vector<std::string> args;
    std::string out;
  } rows[] = {
      {{}, kBanner + kHelp},
      {{"/?"}, kBanner + kHelp},
      {{"-?"}, kBanner + kHelp},  // on Windows it was taken for a wildcard that matched nothing
      {{"-h"}, kBanner + kHelp},
      {{"--help", "a.css"}, kBanner + kHelp},
      {{"--version"}, kBanner},
      {{"-H"}, kBanner + msg::kNameTooShort},  // anything else is a name
      {{"--HELP"}, kBanner + msg::kNameNoCss},
  };
  for (const auto& row : rows) {
    ToolRun r = run_tool(row.args);
    EXPECT_EQ(r.out, row.out) << (row.args.empty() ? "" : row.args[0]);
    EXPECT_EQ(r.status, 0);
  }
  EXPECT_TRUE(folder_entries().empty());
}

TEST_F(Tool, BadNamesAreRefusedBeforeAnythingIsOpened) {
  write_file("a.css.bak", "a{}");
  write_file("a.txt", "a{}");
  const std::string too_long = std::string(520, 'n') + ".css";
  const struct {
    std::string arg;
    std::string message;
  } rows[] = {
      {"", msg::kNameTooShort},
      {".css", msg::kNameTooShort},
      {"a.txt", msg::kNameNoCss},
      {"a.css.bak", msg::kNameCssNotAtEnd},
      {too_long, msg::kNameTooLong},
  };
  for (const auto& row : rows) {
    ToolRun r = run_tool({row.arg});
    EXPECT_EQ(r.out, kBanner + row.message) << row.arg;
    EXPECT_EQ(r.status, 0);
  }
  EXPECT_EQ(folder_entries(), (std::vector<std::string>{"a.css.bak", "a.txt"}));
}

TEST_F(Tool, ConvertsBesideTheInput) {
  fs::create_directory("sub");
  const struct {
    std::string in;
    std::string out;
  } rows[] = {
      {"a.css", "a.olf"},
      {"STYLE.CSS", "STYLE.olf"},
      {"a.css.css", "a.css.olf"},
      {"sub/x.Css", "sub/x.olf"},
  };
  for (const auto& row : rows) {
    write_file(row.in, "h1 , h2 {\n  color : red ;\n  margin:0 auto\n}\n/* end */\n");
    ToolRun r = run_tool({row.in});
    EXPECT_EQ(r.out, kBanner + done(row.in, row.out));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_file(row.out), "h1,h2{color :red ;margin:0 auto }\r\n") << row.in;
  }
}

// A string literal's bytes, NULs included.
template <std::size_t N>
std::string bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

// Notepad's "Unicode" files came out as neither UTF-16 nor the line form, and a UTF-8 file's
// mark was followed by a space. Both are converted in their own encoding now.
TEST_F(Tool, ByteOrderMarkedFilesKeepTheirEncoding) {
  const struct {
    const char* name;
    std::string in;
    std::string out;
  } rows[] = {
      {"le.css", bytes("\xFF\xFE/\0*\0 \0*\0/\0\n\0a\0{\0b\0:\0c\0}\0\n\0"),
       bytes("\xFF\xFE" "a\0{\0b\0:\0c\0}\0\r\0\n\0")},
      {"be.css", bytes("\xFE\xFF\0a\0 \0{\0}\0\n\x01"), bytes("\xFE\xFF\0a\0{\0}\0\r\0\n\x01")},
      {"utf8.css", "\xEF\xBB\xBF/* c */\r\na { b : c }", "\xEF\xBB\xBF" "a{b :c }\r\n"},
  };
  for (const auto& row : rows) {
    write_file(row.name, row.in);
    const std::string out_name = fs::path(row.name).replace_extension(".olf").string();
    EXPECT_EQ(run_tool({row.name}).out, kBanner + done(row.name, out_name));
    EXPECT_EQ(read_file(fs::path(row.name).replace_extension(".olf")), row.out) << row.name;
  }
}

// `veltrim -` in a pipeline: standard input to standard output, byte for byte what the same
// bytes give as a file, in binary on Windows too (no CR LF made, no end at a Ctrl-Z), silent
// on success. A failure tells the file's message, naming "-", on standard error, and exits 1.
TEST_F(Tool, FilterFromStandardInputToStandardOutput) {
#ifdef _WIN32
  const std::string cat = "type ";  // which turns a UTF-16 file into text, and may end at a Ctrl-Z
#else
  const std::string cat = "cat ";
#endif
  const struct {
    std::string sheet;
    bool piped;  // also through `cat` or `type`
  } rows[] = {
      {"h1 , h2 {\n  color : red ;\n}\r\n/* end */ p{x:y}\x1a q{}\r\n", false},
      {"h1 , h2 {\n  color : red ;\n}\r\n/* end */ p{x:y} q{}\r\n", true},
      {bytes("\xFF\xFE/\0*\0 \0*\0/\0\n\0a\0{\0b\0:\0c\0}\0\n\0"), false},
      {"", true},
  };
  for (const auto& row : rows) {
    write_file("in.css", row.sheet);
    run_tool({"in.css"});
    const std::string want = read_file("in.olf");
    std::vector<std::string> feeds = {tool_command() + " - <in.css"};
    if (row.piped) feeds.push_back(cat + "in.css | " + tool_command() + " -");
    for (const std::string& feed : feeds) {
      const ToolRun r = run_command(feed + " >out.olf 2>err.txt");
      EXPECT_EQ(r.status, 0) << feed;
      EXPECT_EQ(read_file("out.olf"), want) << feed;
      EXPECT_EQ(tool_errors(read_file("err.txt")), "") << feed;
    }
  }
#ifndef _WIN32
  // cmd refuses these redirections itself.
  write_file("in.css", rows[0].sheet);
  const struct {
    std::string redirect;
    std::string message;
  } failures[] = {
      {"<in.css >/dev/full", message(msg::kWriteFailed, "-")},
      {"<. >out.olf", message(msg::kReadFailed, "-")},  // a folder reads as a failure
      // Appending to its own input, it would read what it writes for as long as it writes.
      {"<in.css >>in.css", write_refused("-")},
  };
  for (const auto& row : failures) {
    const ToolRun r = run_command(tool_command() + " - " + row.redirect + " 2>err.txt");
    EXPECT_EQ(r.status, 1) << row.redirect;
    EXPECT_EQ(tool_errors(read_file("err.txt")), row.message) << row.redirect;
  }
  EXPECT_EQ(read_file("in.css"), rows[0].sheet);
#endif
}

// Regression: Node and Python hand their children non-blocking pipes, and the filter failed
// at once with the read message (no data yet) or the write message (no room yet). It waits
// for both now: the input comes late and slowly, the output is read late, and all of it
// arrives.
TEST_F(Tool, FilterOnNonBlockingPipes) {
  const std::string sheet = big_sheet();
  write_file("in.css", sheet);
  run_tool({"in.css"});
  const std::string want = read_file("in.olf");
  NonBlockingFilter tool;
  if (!tool.started()) GTEST_SKIP() << "no non-blocking pipes here";
  std::thread feeder([&sheet, &tool] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    for (std::size_t at = 0; at < sheet.size(); at += 50000) {
      if (!tool.feed(sheet.data() + at, std::min<std::size_t>(50000, sheet.size() - at))) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    tool.end_input();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(400));  // the output pipe fills first
  const std::string got = tool.drain();
  feeder.join();
  EXPECT_EQ(tool.status(), 0);
  EXPECT_EQ(got.size(), want.size());
  EXPECT_TRUE(got == want);
}

// A script could not tell a failure: the exit status is 0 on every path, as callers rely on.
// With VELTRIM_STATUS=1 it is 1 after any message that is not a success or the help.
TEST_F(Tool, StatusOneAfterAFailureWhenAsked) {
  write_file("a.css", "a{}");
  write_file("b.css", "b{}");
  fs::create_directory("b.olf");  // the output cannot be created
  struct Row {
    std::vector<std::string> args;
    int asked;  // the status with VELTRIM_STATUS=1
  };
  std::vector<Row> rows = {
      {{"a.css"}, 0},       {{}, 0},           {{"--help"}, 0}, {{"--version"}, 0},
      {{"a.txt"}, 1},       {{"a.c"}, 1},      {{"missing.css"}, 1},
      {{"b.css"}, 1},       {{"a.css", "missing.css"}, 0},
  };
#ifndef _WIN32
  // A write that fails during the conversion.
  write_file("full.css", "c{}");
  if (make_full_disk("full.olf")) rows.push_back({{"full.css"}, 1});
#endif
  for (const auto& row : rows) {
    const std::string what = row.args.empty() ? "no argument" : row.args[0];
    EXPECT_EQ(run_tool(row.args).status, 0) << what;
    {
      ScopedEnv env("VELTRIM_STATUS", "0");
      EXPECT_EQ(run_tool(row.args).status, 0) << what << ", VELTRIM_STATUS=0";
    }
    ScopedEnv env("VELTRIM_STATUS", "1");
    EXPECT_EQ(run_tool(row.args).status, row.asked) << what << ", VELTRIM_STATUS=1";
  }
}

// Regression: `set VELTRIM_STATUS=1 && veltrim x.css` in cmd stores "1 ", and the status
// stayed 0 after a failure. Blanks around the 1 count for nothing; any other value is unset.
TEST_F(Tool, StatusValueWithBlanksAroundTheOne) {
  const struct {
    const char* value;
    int status;
  } rows[] = {{"1", 1},  {"1 ", 1}, {" 1", 1},    {"\t1\t", 1}, {" \t1 ", 1}, {"1\r", 1},
              {"1\r\n", 1}, {"\n1", 1}, {"0", 0},  {"2", 0},  {"true", 0}, {"01", 0},
              {"1 1", 0}, {"1\r1", 0}};
  for (const auto& row : rows) {
    ScopedEnv env("VELTRIM_STATUS", row.value);
    EXPECT_EQ(run_tool({"missing.css"}).status, row.status) << "[" << row.value << "]";
  }
}

// Regression: with the result line lost (standard output on a full disk, or a pipe whose
// reader has gone), a failing run exited 0 under VELTRIM_STATUS=1, and a script saw neither
// the line nor the status. Without VELTRIM_STATUS the status stays 0.
TEST_F(Tool, ResultLineThatCannotBeWrittenIsAFailure) {
  write_file("a.css", "a{}");
  const struct {
    const char* status;
    int want;
  } rows[] = {{nullptr, 0}, {"0", 0}, {"1", 1}};
  for (const auto& row : rows) {
    std::unique_ptr<ScopedEnv> env;
    if (row.status != nullptr) env = std::make_unique<ScopedEnv>("VELTRIM_STATUS", row.status);
#ifdef _WIN32
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read_end = nullptr;
    HANDLE write_end = nullptr;
    ASSERT_TRUE(CreatePipe(&read_end, &write_end, &inherit, 0));
    CloseHandle(read_end);  // no reader: every write fails
    const int status = run_with_handles(L"a.css", nullptr, write_end);
    CloseHandle(write_end);
#else
    const int status = run_command(tool_command() + " a.css >/dev/full").status;
#endif
    EXPECT_EQ(status, row.want) << (row.status ? row.status : "unset");
    EXPECT_EQ(read_file("a.olf"), "a{}\r\n");
  }
}

#ifdef _WIN32
// More result lines than the 4 KiB that the C runtime holds of standard output, which it
// writes in the middle of the run: a wildcard over many files into a pipe with no reader.
// The lines lost at that write count as much as those lost at the end.
TEST_F(Tool, ManyResultLinesToAFullStandardOutputAreAFailure) {
  for (int i = 0; i < 120; ++i) write_file("sheet" + std::to_string(1000 + i) + ".css", "a{}");
  ScopedEnv env("VELTRIM_STATUS", "1");
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  ASSERT_TRUE(CreatePipe(&read_end, &write_end, &inherit, 0));
  CloseHandle(read_end);
  EXPECT_EQ(run_with_handles(L"*.css", nullptr, write_end), 1);
  CloseHandle(write_end);
  EXPECT_EQ(read_file("sheet1119.olf"), "a{}\r\n");  // every file converted all the same
}
#endif

// The README's check, `| grep -q zpracovan`, took the failure for nezpracovane.css for a
// success: the file's name holds the word. Each loop the READMEs show, run as written.
TEST_F(Tool, ReadmeFailureChecksCatchAFailedFileNamedLikeSuccess) {
  write_file("ok.css", "a{}");
  write_file("nezpracovane.css", "a{}");
  fs::create_directory("nezpracovane.olf");
#ifdef _WIN32
  const fs::path tool_dir = fs::u8path(VELTRIM_EXE).parent_path().make_preferred();
  // Wine 8's cmd takes no findstr /c:, and runs what follows `||` after any program: the
  // batch file's status check runs here one step a line.
  write_file("run.cmd", "@echo off\r\nset \"PATH=" + tool_dir.u8string() + ";%PATH%\"\r\n"
                        "set VELTRIM_STATUS=1\r\n"
                        "for %%f in (*.css) do call :one \"%%f\"\r\ngoto :eof\r\n"
                        ":one\r\nveltrim %1 >nul\r\nif errorlevel 1 echo Failed: %~1\r\n");
  EXPECT_EQ(run_command("run.cmd").out, "Failed: nezpracovane.css\n");
#else
  // The tool as `veltrim` on PATH, through its runner when it has one.
  fs::create_directory("bin");
  write_file("bin/veltrim", "#!/bin/sh\nexec " + tool_command() + " \"$@\"\n");
  fs::permissions("bin/veltrim", fs::perms::owner_all);
  const char* loops[] = {
      R"(for f in *.css; do veltrim "$f" | grep -xF "Soubor $f zpracovan do souboru ${f%.*}.olf." >/dev/null || echo "failed: $f"; done)",
      R"(for f in *.css; do VELTRIM_STATUS=1 veltrim "$f" >/dev/null || echo "failed: $f"; done)",
  };
  for (const char* loop : loops) {
    EXPECT_EQ(run_command("PATH=\"$PWD/bin:$PATH\"; " + std::string(loop)).out,
              "failed: nezpracovane.css\n")
        << loop;
  }
#endif
}

TEST_F(Tool, ReplacesExistingOutputAndIgnoresSecondArgument) {
  write_file("a.css", "a{}");
  write_file("a.olf", "an older and much longer output");
  ToolRun r = run_tool({"a.css", "b.css"});
  EXPECT_EQ(r.out, kBanner + done("a.css", "a.olf"));
  EXPECT_EQ(read_file("a.olf"), "a{}\r\n");
  EXPECT_EQ(folder_entries(), (std::vector<std::string>{"a.css", "a.olf"}));
}

// Three files dropped on the exe at once: the first is converted, the others are left as
// they are, as the READMEs now say.
TEST_F(Tool, SeveralNamesConvertTheFirstOnly) {
  for (const char* name : {"a.css", "b.css", "c.css"}) write_file(name, "x{}");
  EXPECT_EQ(run_tool({"a.css", "b.css", "c.css"}).out,
            kBanner + done("a.css", "a.olf"));
  EXPECT_EQ(folder_entries(), (std::vector<std::string>{"a.css", "a.olf", "b.css", "c.css"}));
}

TEST_F(Tool, MissingInputCreatesNoOutput) {
  ToolRun r = run_tool({"missing.css"});
  EXPECT_EQ(r.out, kBanner + read_refused("missing.css"));
  EXPECT_TRUE(folder_entries().empty());
}

// A folder cannot be read like a file: the read message, and no output beside it.
TEST_F(Tool, FolderNamedLikeInputIsNotRead) {
  fs::create_directory("x.css");
  ToolRun r = run_tool({"x.css"});
  EXPECT_EQ(r.out, kBanner + read_refused("x.css"));
  EXPECT_EQ(folder_entries(), std::vector<std::string>{"x.css"});
}

TEST_F(Tool, OutputThatCannotBeCreated) {
  write_file("a.css", "a{}");
  fs::create_directory("a.olf");
  ToolRun r = run_tool({"a.css"});
  EXPECT_EQ(r.out, kBanner + write_refused("a.olf"));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(read_file("a.css"), "a{}");
}

// A link named like the output that leads back to the input: truncating it would destroy
// the input before a byte of it was read.
TEST_F(Tool, LinkFromOutputToInputIsRefused) {
  const std::string sheets[] = {"a { x : y }", "b { x : y }"};
  write_file("a.css", sheets[0]);
  write_file("b.css", sheets[1]);
  // A hard link opens on Windows too, where the input is shared for writing; a symbolic link
  // needs privileges there.
  fs::create_hard_link("b.css", "b.olf");
  EXPECT_EQ(run_tool({"b.css"}).out, kBanner + write_refused("b.olf"));
#ifndef _WIN32
  fs::create_symlink("a.css", "a.olf");
  EXPECT_EQ(run_tool({"a.css"}).out, kBanner + write_refused("a.olf"));
#endif
  EXPECT_EQ(read_file("a.css"), sheets[0]);
  EXPECT_EQ(read_file("b.css"), sheets[1]);
}

// Regression: an output name that is a symbolic link was written through: in/x.olf ->
// ../outside/target.txt overwrote target.txt, and a dangling link created a file outside
// the folder. Refused now with the write message, the link and its target left as they
// were; a hard link is replaced in place, and a link among the folders is followed.
TEST_F(Tool, OutputThatIsASymbolicLinkIsNeverWrittenThrough) {
  fs::create_directories("in");
  fs::create_directories("outside");
  write_file("outside/target.txt", "keep me");
  for (const char* name : {"in/x.css", "in/dangling.css", "in/hard.css", "outside/ok.css"}) {
    write_file(name, "a { b : c }");
  }
  const auto link = [](const std::string& target, const std::string& name, bool folder = false) {
#ifdef _WIN32
    const DWORD flags = SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE |
                        (folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0);
    // Wine 8 answers with success and makes a plain file: only a reparse point is a link.
    const std::wstring made = fs::u8path(name).make_preferred().wstring();
    if (!CreateSymbolicLinkW(made.c_str(), fs::u8path(target).make_preferred().c_str(), flags)) {
      return false;
    }
    const DWORD attributes = GetFileAttributesW(made.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
#else
    (void)folder;
    fs::create_symlink(target, name);
    return true;
#endif
  };
  if (!link("../outside/target.txt", "in/x.olf") || !link("../outside/new.txt", "in/dangling.olf")) {
    GTEST_SKIP() << "symbolic links cannot be made here (Wine 8 makes plain files)";
  }
  fs::create_hard_link("outside/target.txt", "in/hard.olf");
  const bool folder_link = link("outside", "via", true);
  const struct {
    const char* arg;
    std::string said;
  } rows[] = {
      {"in/x.css", write_refused("in/x.olf")},
      {"in/dangling.css", write_refused("in/dangling.olf")},
  };
  for (const auto& row : rows) EXPECT_EQ(run_tool({row.arg}).out, kBanner + row.said) << row.arg;
  EXPECT_EQ(read_file("outside/target.txt"), "keep me");
  EXPECT_FALSE(fs::exists("outside/new.txt"));
  EXPECT_TRUE(fs::is_symlink("in/x.olf"));

  EXPECT_EQ(run_tool({"in/hard.css"}).out,
            kBanner + done("in/hard.css", "in/hard.olf"));
  EXPECT_EQ(read_file("outside/target.txt"), "a{b :c }\r\n");
  if (folder_link) {
    EXPECT_EQ(run_tool({"via/ok.css"}).out,
              kBanner + done("via/ok.css", "via/ok.olf"));
    EXPECT_EQ(read_file("outside/ok.olf"), "a{b :c }\r\n");
  }
}

// A full disk is a failure, not a success: small output fails at the final flush, large
// output in the middle of the conversion.
TEST_F(Tool, WriteFailureIsReported) {
#ifdef _WIN32
  GTEST_SKIP() << "needs /dev/full; the unit tests inject write failures on every platform";
#else
  const std::string big = big_sheet();
  if (!make_full_disk("full.olf")) GTEST_SKIP() << "cannot make a full disk's device here";
  for (const std::string& body : {std::string("a{}"), big}) {
    write_file("full.css", body);
    ToolRun r = run_tool({"full.css"});
    EXPECT_EQ(r.out, kBanner + message(msg::kWriteFailed, "full.olf")) << body.size();
    EXPECT_EQ(r.status, 0);
  }
#endif
}

// Reading the tool's own memory at offset 0 fails with an I/O error: a read failure that
// must not pass for the end of the input.
TEST_F(Tool, ReadFailureIsReported) {
#ifdef _WIN32
  GTEST_SKIP() << "needs /proc/self/mem; the unit tests inject read failures on every platform";
#else
  fs::create_symlink("/proc/self/mem", "mem.css");
  ToolRun r = run_tool({"mem.css"});
  EXPECT_EQ(r.out, kBanner + message(msg::kReadFailed, "mem.css"));
  EXPECT_EQ(read_file("mem.olf"), "");
#endif
}

// A named pipe cannot seek: the step back after '/' must come from the buffer.
TEST_F(Tool, NamedPipeAsInput) {
#ifdef _WIN32
  GTEST_SKIP() << "POSIX named pipes only";
#else
  ASSERT_EQ(mkfifo("p.css", 0600), 0);
  std::thread writer([] { write_file("p.css", "a /x/* c */ { b : c } d{}"); });
  ToolRun r = run_tool({"p.css"});
  // A tool that never opened the pipe would leave the writer waiting for a reader for ever:
  // be one, so that the test fails instead of hanging.
  const int release = open("p.css", O_RDONLY | O_NONBLOCK);
  writer.join();
  if (release >= 0) close(release);
  EXPECT_EQ(r.out, kBanner + done("p.css", "p.olf"));
  EXPECT_EQ(read_file("p.olf"), "a /x{b :c }\r\nd{}\r\n");
#endif
}

// Regression: an output FIFO with no reader made the tool wait in its open for ever. It is
// refused at once now; with a reader, the reader receives the line form.
TEST_F(Tool, NamedPipeAsOutput) {
#ifdef _WIN32
  GTEST_SKIP() << "POSIX named pipes only";
#else
  write_file("p.css", "a /* c */ { b : c }");
  ASSERT_EQ(mkfifo("p.olf", 0600), 0);
  // `timeout` turns a hang into a failure of this test, not of the whole run.
  EXPECT_EQ(run_tool({"p.css"}, "timeout 20 ").out,
            kBanner + write_refused("p.olf"));
  // A reader that is there before the tool opens the pipe; the line form fits in the pipe's
  // buffer, so the tool need not wait for it to read.
  const int reader = open("p.olf", O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  const ToolRun r = run_tool({"p.css"}, "timeout 20 ");
  std::string got(64, '\0');
  const ssize_t n = read(reader, got.data(), got.size());
  close(reader);
  got.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  EXPECT_EQ(r.out, kBanner + done("p.css", "p.olf"));
  EXPECT_EQ(got, "a{b :c }\r\n");

  // More than the pipe's buffer, to a reader that starts reading late: the tool waits for
  // room, and the reader receives the whole line form.
  const std::string big = big_sheet();
  write_file("q.css", big);
  run_tool({"q.css"});
  const std::string want = read_file("q.olf");
  write_file("p.css", big);
  const int late = open("p.olf", O_RDONLY | O_NONBLOCK);
  ASSERT_GE(late, 0);
  ToolRun big_run;
  std::thread tool([&big_run] { big_run = run_tool({"p.css"}, "timeout 20 "); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  // A tool slow to start (under an emulator) may not have opened the pipe yet: a read then
  // would find no writer and end. Wait for its first bytes.
  struct pollfd ready = {late, POLLIN, 0};
  EXPECT_EQ(poll(&ready, 1, 20000), 1);
  fcntl(late, F_SETFL, fcntl(late, F_GETFL) & ~O_NONBLOCK);
  std::string all;
  char buf[65536];
  for (ssize_t got_now; (got_now = read(late, buf, sizeof buf)) > 0;) all.append(buf, static_cast<std::size_t>(got_now));
  close(late);
  tool.join();
  EXPECT_EQ(big_run.out, kBanner + done("p.css", "p.olf"));
  EXPECT_TRUE(all == want) << all.size() << " of " << want.size() << " bytes";
#endif
}

// Regression: two runs into one output at once (x.css and x.CSS) mixed their bytes, and both
// reported success. While another run holds the output, this one is refused and leaves it whole.
TEST_F(Tool, OutputThatAnotherRunWritesIsRefused) {
#ifdef _WIN32
  GTEST_SKIP() << "the output's share mode does this on Windows: OutputOpenForReadingIsRefused";
#else
  write_file("x.CSS", "a{}");
  write_file("x.olf", "the other run's output");
  const int held = open("x.olf", O_RDWR);
  ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
  ToolRun r = run_tool({"x.CSS"});
  close(held);
  EXPECT_EQ(r.out, kBanner + write_refused("x.olf"));
  EXPECT_EQ(read_file("x.olf"), "the other run's output");
#endif
}

// Regression: under a file-size limit the tool was killed by SIGXFSZ without a word.
TEST_F(Tool, FileSizeLimitIsAWriteError) {
#ifdef _WIN32
  GTEST_SKIP() << "POSIX resource limits only";
#else
  // Under qemu the signal that a write past the limit raises is the emulator's to pass on, and
  // in one CI run it ended the tool although the tool ignores it: a test of qemu, not the tool.
  if (!tool_runner().empty()) GTEST_SKIP() << "the limit's signal goes through the emulator";
  const std::string big = big_sheet();
  write_file("big.css", big);
  ToolRun r = run_tool({"big.css"}, "ulimit -f 64; ");
  EXPECT_EQ(r.out, kBanner + message(msg::kWriteFailed, "big.olf"));
  EXPECT_EQ(r.status, 0);
#endif
}

#ifdef _WIN32
// Windows names take back slashes as well as forward ones.
TEST_F(Tool, BackslashPath) {
  fs::create_directory("sub");
  write_file("sub/STYLE.Css", "a { b : c }");
  ToolRun r = run_tool({"sub\\STYLE.Css"});
  EXPECT_EQ(r.out, kBanner + done("sub\\STYLE.Css", "sub\\STYLE.olf"));
  EXPECT_EQ(read_file("sub/STYLE.olf"), "a{b :c }\r\n");
}

// An output that another program holds open cannot be replaced: for reading without write
// sharing, or for writing with every sharing allowed (the tool shares it for reading only).
// The output stays as it was.
TEST_F(Tool, OutputThatAnotherProgramHoldsIsRefused) {
  write_file("a.css", "a{}");
  const struct {
    DWORD access;
    DWORD share;
  } rows[] = {
      {GENERIC_READ, FILE_SHARE_READ},
      {GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE},
  };
  for (const auto& row : rows) {
    write_file("a.olf", "held");
    HANDLE held = CreateFileW(L"a.olf", row.access, row.share, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ToolRun r = run_tool({"a.css"});
    CloseHandle(held);
    EXPECT_EQ(r.out, kBanner + write_refused("a.olf")) << row.access;
    EXPECT_EQ(read_file("a.olf"), "held") << row.access;
  }
}

// Regression: from Git Bash, `veltrim - < f.css >> f.css` grew f.css until the disk was full:
// its `>>` handle may not read attributes, so the identity was unknown and taken for another
// file's. Unknown is taken for the input now, as for named files; NUL in and out still works.
TEST_F(Tool, FilterRefusesAnOutputThatMayBeItsInput) {
  write_file("f.css", "a { b : c }");
  const struct {
    const wchar_t* in;
    const wchar_t* out;
    DWORD out_access;
    DWORD disposition;
    int status;
  } rows[] = {
      // CreateFileW adds the right to read attributes; a handle duplicated with less has none.
      {L"f.css", L"f.css", FILE_APPEND_DATA | SYNCHRONIZE, OPEN_EXISTING, 1},
      {L"f.css", L"f.css", GENERIC_WRITE, OPEN_EXISTING, 1},
      {L"NUL", L"NUL", GENERIC_WRITE, OPEN_EXISTING, 0},
      {L"f.css", L"out.olf", GENERIC_WRITE, CREATE_ALWAYS, 0},
  };
  for (const auto& row : rows) {
    HANDLE in = inheritable_file(row.in, GENERIC_READ);
    HANDLE opened = inheritable_file(row.out, GENERIC_WRITE, row.disposition);
    ASSERT_NE(in, INVALID_HANDLE_VALUE);
    ASSERT_NE(opened, INVALID_HANDLE_VALUE);
    HANDLE out = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), opened, GetCurrentProcess(), &out,
                                row.out_access, TRUE, 0));
    CloseHandle(opened);
    EXPECT_EQ(run_with_handles(L"-", in, out), row.status) << row.out;
    CloseHandle(in);
    CloseHandle(out);
  }
  EXPECT_EQ(read_file("f.css"), "a { b : c }");
  EXPECT_EQ(read_file("out.olf"), "a{b :c }\r\n");
}

TEST_F(Tool, InputThatAnotherProgramWritesConverts) {
  write_file("a.css", "a { b : c }");
  HANDLE held = CreateFileW(L"a.css", GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const ToolRun r = run_tool({"a.css"});
  CloseHandle(held);
  EXPECT_EQ(r.out, kBanner + done("a.css", "a.olf"));
  EXPECT_EQ(read_file("a.olf"), "a{b :c }\r\n");
}

// Regression: where letter case makes names differ (Wine on a Unix file system, folders with
// case sensitivity on), `veltrim *.css` converted A.css into A.olf and then a.css into the
// same file, and reported both as made. The second is refused now, before it truncates.
TEST_F(Tool, WildcardNeverWritesOneOutputTwice) {
  if (!run_unix_script("printf 'A { x : 1 }' >A.css && printf 'a { x : 2 }' >a.css")) {
    GTEST_SKIP() << "needs Wine, to make two names that differ in letter case alone";
  }
  ScopedEnv env("VELTRIM_STATUS", "1");
  const ToolRun r = run_tool({"*.css"});
  EXPECT_EQ(r.out, kBanner + done("A.css", "A.olf") +
                       write_refused("a.olf"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(read_file("A.olf"), "A{x :1 }\r\n");
  EXPECT_EQ(folder_entries(), (std::vector<std::string>{"A.css", "A.olf", "a.css"}));
}

// Regression: "veltrim LONG~QQL.CSS" named its output LONG~QQL.olf, which may be the short
// name of someone's "long style theme 2487.olf", and overwrote that. The output is named after
// the input's long name now (whether a short output name would reach another file, the next
// test and the unit tests of names pin).
TEST_F(Tool, ShortNameOfTheInputNamesNoOtherFile) {
  write_file("long style name.css", ".name { color : red }");
  const std::string in_short = short_name("long style name.css");
  if (in_short.empty()) GTEST_SKIP() << "this file system keeps no short names";
  EXPECT_EQ(run_tool({in_short}).out,
            kBanner + done("long style name.css", "long style name.olf"));
  EXPECT_EQ(read_file("long style name.olf"), ".name{color :red }\r\n");
  EXPECT_EQ(folder_entries(),
            (std::vector<std::string>{"long style name.css", "long style name.olf"}));
}

// A name that is itself another file's short name reaches that file: such an output is
// refused before anything is truncated. A difference in letter case alone is the same file,
// which is converted into as always.
TEST_F(Tool, OutputNameThatIsAnotherFilesShortNameIsRefused) {
  write_file("long style theme.olf", "notes");
  const std::string notes_short = short_name("long style theme.olf");
  if (notes_short.empty()) GTEST_SKIP() << "this file system keeps no short names";
  const std::string stem = notes_short.substr(0, notes_short.size() - 4);
  write_file(stem + ".css", "a { b : c }");
  EXPECT_EQ(run_tool({stem + ".css"}).out,
            kBanner + write_refused(stem + ".olf"));
  EXPECT_EQ(read_file("long style theme.olf"), "notes");

  write_file("style.css", "a { b : c }");
  write_file("Style.OLF", "the previous output");
  EXPECT_EQ(run_tool({"style.css"}).out,
            kBanner + done("style.css", "style.olf"));
  EXPECT_EQ(read_file("Style.OLF"), "a{b :c }\r\n");
}

TEST_F(Tool, ConsoleLinesEndInCrLf) {
  ToolRun r = run_tool({"a.txt"});
  EXPECT_EQ(r.raw, "\r\nVeltrim v1.1\r\nChybny nazev souboru. (chybi .css))\r\n");
}

// Regression: the narrow command line turned the 'r' with caron into a plain 'r', so that
// rez.css was converted and someone's rez.olf overwritten; a name outside the code page did
// not open at all. The messages show a character that the console's code page (437 under
// Wine here) lacks as one '?', a surrogate pair (an emoji) too.
TEST_F(Tool, NamesOutsideTheCodePageReachExactlyTheirFile) {
  write_file("rez.css", "r{}");
  write_file("rez.olf", "somebody's notes");
  const struct {
    std::string stem;
    std::string shown;
  } rows[] = {
      {"\xC5\x99" "ez", "?ez"},                // r with caron
      {"\xE6\x97\xA5\xE6\x9C\xAC", "??"},      // two kanji
      {"\xF0\x9F\x98\x80 smile", "? smile"},  // U+1F600, two UTF-16 units
  };
  for (const auto& row : rows) {
    write_file(fs::u8path(row.stem + ".css"), "a { b : c }");
    EXPECT_EQ(run_tool({row.stem + ".css"}).out,
              kBanner + done(row.shown + ".css", row.shown + ".olf"));
    EXPECT_EQ(read_file(fs::u8path(row.stem + ".olf")), "a{b :c }\r\n") << row.shown;
  }
  EXPECT_EQ(read_file("rez.olf"), "somebody's notes");
}

// Regression: aux.css and COM1.css hung for ever; NUL.css reported success, having read and
// written nothing. A device is not a file, in any letter case or folder.
TEST_F(Tool, DeviceNamesAreRefused) {
  fs::create_directory("sub");
  for (const std::string name : {"aux.css", "COM1.css", "NUL.css", "sub\\Con.Css", "lpt1.css"}) {
    EXPECT_EQ(run_tool({name}).out, kBanner + read_refused(name));
  }
  EXPECT_EQ(folder_entries(), std::vector<std::string>{"sub"});
}

// Regression: a path past 260 characters never opened, though the name fits in 511 bytes.
TEST_F(Tool, LongPathConverts) {
  const std::string deep = std::string(120, 'd') + "\\" + std::string(120, 'e');
  ASSERT_TRUE(CreateDirectoryW(long_form(deep.substr(0, 120)).c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(long_form(deep).c_str(), nullptr));
  const std::string name = deep + "\\" + std::string(100, 'n');
  write_file(long_form(name + ".css"), "a { b : c }");
  EXPECT_EQ(run_tool({name + ".css"}).out,
            kBanner + done(name + ".css", name + ".olf"));
  EXPECT_EQ(read_file(long_form(name + ".olf")), "a{b :c }\r\n");
}

// A path of 209 Chinese characters, well within what Windows takes, was refused as longer
// than 511: the limit counted its 615 bytes in UTF-8. Windows counts characters (UTF-16 units).
TEST_F(Tool, CjkPathUnder512CharactersConverts) {
  std::string part;
  for (int i = 0; i < 80; ++i) part += "\xE4\xB8\xAD";  // U+4E2D, three bytes a character
  const std::string deep = part + "\\" + part;
  ASSERT_TRUE(CreateDirectoryW(long_form(part).c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(long_form(deep).c_str(), nullptr));
  const std::string name = deep + "\\" + part.substr(0, 43 * 3);
  write_file(long_form(name + ".css"), "a { b : c }");
  const std::string said = run_tool({name + ".css"}).out;
  EXPECT_NE(said.find(" zpracovan do souboru "), std::string::npos) << said;
  EXPECT_EQ(read_file(long_form(name + ".olf")), "a{b :c }\r\n");
}

// `veltrim *.css` in cmd, which leaves the pattern to the program, said it could not open
// "*.css". Every stylesheet the pattern matches is converted now, in name order.
TEST_F(Tool, WildcardConvertsEveryStylesheetItMatches) {
  for (const char* name : {"B.css", "a.CSS", "c.cssx", "e.txt", "g.css", "sub/f.css"}) {
    fs::create_directories(fs::path(name).parent_path().empty() ? "." : "sub");
    write_file(name, "p { q : r }");
  }
  fs::create_directory("d.css");  // a folder
  fs::create_directory("g.olf");  // g.css cannot be converted: the others still are
  const struct {
    const char* arg;
    std::string said;
  } rows[] = {
      {"*.css", done("a.CSS", "a.olf") + done("B.css", "B.olf") + write_refused("g.olf")},
      {"?.c?s", done("a.CSS", "a.olf") + done("B.css", "B.olf") + write_refused("g.olf")},
      {"sub\\*", done("sub\\f.css", "sub\\f.olf")},
      {"x*.css", read_refused("x*.css")},
      {"none\\*.css", read_refused("none\\*.css")},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(run_tool({row.arg}).out, kBanner + row.said) << row.arg;
  }
  EXPECT_EQ(read_file("a.olf"), "p{q :r }\r\n");
  EXPECT_EQ(read_file("sub/f.olf"), "p{q :r }\r\n");
  EXPECT_FALSE(fs::exists("c.olf"));
  ScopedEnv env("VELTRIM_STATUS", "1");
  EXPECT_EQ(run_tool({"*.css"}).status, 1);
  EXPECT_EQ(run_tool({"sub\\*.css"}).status, 0);
}

// A dropped file ran in a console that closed with the process, before the result could be
// read. Started by the shell and alone on its console, the tool waits for Enter after its
// last message. Three files sent at once were converted the first alone: from the shell,
// each is converted, with its own result line under one banner (a refused one named in its
// line), and one wait at the end.
TEST_F(Tool, StartedByTheShellConvertsEveryFileAndWaitsForEnter) {
  // Big enough that the tool is still converting it when this test attaches to its console.
  std::string big;
  for (int i = 0; i < 10; ++i) big += big_sheet();
  std::string big_olf;
  for (std::size_t i = 0; i < big.size(); i += 32) big_olf += "rule{color :red }\r\n";
  for (const char* name : {"a.css", "d.css"}) write_file(name, "a { b : c }");
  write_file("b c.css", big);
  PROCESS_INFORMATION pi = start_from_the_shell(L"a.css \"b c.css\" notes.txt d.css");
  ASSERT_TRUE(pi.hProcess);
  FreeConsole();
  // This test is a process on the tool's console from the moment it attaches to read the
  // screen, and a tool that counted the processes on it after that would rightly not wait.
  // It attaches as soon as the first output exists, while the others are being written, and
  // stays: the tool must have decided before it opened a file, as a user's tool is decided
  // whatever attaches later.
  for (int i = 0; i < 20000 && !fs::exists("a.olf"); ++i) Sleep(1);
  const std::string prompt = msg::kPressEnter;
  std::string screen;
  bool attached = false;
  for (int i = 0; i < 2000 && screen.find(prompt) == std::string::npos; ++i) {
    attached = attached || AttachConsole(pi.dwProcessId);
    if (!attached) {
      Sleep(10);
      continue;
    }
    screen = console_screen();
    if (screen.empty()) {
      FreeConsole();
      TerminateProcess(pi.hProcess, 1);
      CloseHandle(pi.hProcess);
      GTEST_SKIP() << "new consoles have no screen here (under Wine: run with a display)";
    }
    if (screen.find(prompt) == std::string::npos) Sleep(10);
  }
  for (const std::string& line : {done("a.css", "a.olf"), done("b c.css", "b c.olf"),
                                 message(msg::kNamedNoCss, "notes.txt"), done("d.css", "d.olf")}) {
    EXPECT_NE(screen.find(line.substr(0, line.size() - 1)), std::string::npos) << screen;
  }
  EXPECT_EQ(screen.find("Veltrim v1.1"), screen.rfind("Veltrim v1.1")) << "one banner";
  EXPECT_NE(screen.find(prompt), std::string::npos) << screen;
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 300), WAIT_TIMEOUT) << "ended without waiting";
  press_enter();
  FreeConsole();
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 20000), WAIT_OBJECT_0) << "Enter did not end it";
  TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hProcess);
  EXPECT_EQ(read_file("a.olf"), "a{b :c }\r\n");
  EXPECT_TRUE(read_file("b c.olf") == big_olf);
  EXPECT_EQ(read_file("d.olf"), "a{b :c }\r\n");
}

// `start /wait veltrim site.css` in a batch file stopped the batch until someone pressed
// Enter: `start` gives the tool a console of its own, as any program may. Only a start by the
// shell waits.
TEST_F(Tool, StartWaitFromABatchFileDoesNotWait) {
  const std::wstring tool = fs::u8path(VELTRIM_EXE).wstring();
  write_file("a.css", "a { b : c }");
  write_file("run.cmd", "@start \"\" /wait \"" + fs::u8path(VELTRIM_EXE).string() +
                            "\" a.css\r\n@echo done> done.txt\r\n");
  EXPECT_TRUE(ends_by_itself(L"cmd /c run.cmd", CREATE_NEW_CONSOLE)) << "waited for a key";
  EXPECT_EQ(read_file("a.olf"), "a{b :c }\r\n");
  EXPECT_EQ(read_file("done.txt"), "done\r\n");
  // Started directly on a new console, as Task Scheduler or a service may.
  std::remove("a.olf");
  EXPECT_TRUE(ends_by_itself(L"\"" + tool + L"\" a.css", CREATE_NEW_CONSOLE)) << "waited";
  EXPECT_EQ(read_file("a.olf"), "a{b :c }\r\n");
}

// A script that redirects the output reads the result from the file: no wait, even on a
// console of its own.
TEST_F(Tool, OwnConsoleWithOutputRedirectedDoesNotWait) {
  write_file("a.css", "a { b }");
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE log = CreateFileW(L"log.txt", GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  PROCESS_INFORMATION pi = start_on_new_console(L"a.css", log);
  CloseHandle(log);
  ASSERT_TRUE(pi.hProcess);
  const DWORD waited = WaitForSingleObject(pi.hProcess, 20000);
  TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hProcess);
  EXPECT_EQ(waited, WAIT_OBJECT_0) << "waited for a key";
  EXPECT_EQ(read_file("log.txt"),
            "\r\nVeltrim v1.1\r\nSoubor a.css zpracovan do souboru a.olf.\r\n");
}
#endif

}  // namespace
}  // namespace veltrim::testing
