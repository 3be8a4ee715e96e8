// The Windows setup, run as a user or a package manager runs it, silent, in the Wine prefix of
// .ci/setup-tests alone: it changes this user's PATH, Explorer's entries and the installed
// programs. What each step did is read back from the registry and the disk, not only its exit
// code. VELTRIM_SETUP names the setup to test.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace veltrim::testing {
namespace {

namespace fs = std::filesystem;

const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Veltrim";
const wchar_t kVerbKey[] = L"Software\\Classes\\SystemFileAssociations\\.css\\shell\\Veltrim";

std::wstring known_folder(const KNOWNFOLDERID& id) {
  PWSTR path = nullptr;
  std::wstring s;
  if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path))) s = path;
  CoTaskMemFree(path);
  return s;
}

const std::wstring kDefaultFolder = known_folder(FOLDERID_LocalAppData) + L"\\Programs\\Veltrim";
const fs::path kSendTo = fs::path(known_folder(FOLDERID_SendTo)) / L"Veltrim.lnk";

// Starts a command line and waits, up to two minutes, for it and (with whole_tree) every
// process it started to end; its exit code, or -1.
int run_all(std::wstring line, bool whole_tree = true) {
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE,
                      CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi)) {
    ADD_FAILURE() << "CreateProcessW: " << GetLastError();
    CloseHandle(job);
    return -1;
  }
  AssignProcessToJobObject(job, pi.hProcess);
  ResumeThread(pi.hThread);
  CloseHandle(pi.hThread);
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(pi.hProcess, 120000) == WAIT_OBJECT_0)
    GetExitCodeProcess(pi.hProcess, &code);
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info{};
  for (int i = 0; whole_tree && i < 1200; ++i) {
    if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &info, sizeof info,
                                   nullptr) ||
        info.ActiveProcesses == 0) {
      break;
    }
    Sleep(100);
  }
  EXPECT_EQ(info.ActiveProcesses, 0U) << "still running after two minutes";
  TerminateJobObject(job, 1);
  CloseHandle(pi.hProcess);
  CloseHandle(job);
  return static_cast<int>(code);
}

std::wstring setup_file() {
  const wchar_t* env = _wgetenv(L"VELTRIM_SETUP");
  return env != nullptr ? env : L"";
}

// Silent; /D= (last, unquoted, as NSIS takes it) where a folder is given.
int install(const std::wstring& folder = std::wstring()) {
  std::wstring line = L"\"" + setup_file() + L"\" /S";
  if (!folder.empty()) line += L" /D=" + folder;
  return run_all(line);
}

// A registry value as stored: its type and its data as UTF-16 units, terminator included.
struct Value {
  DWORD type = REG_NONE;
  std::wstring data;
  bool operator==(const Value& o) const { return type == o.type && data == o.data; }
};

std::optional<Value> read_value(const wchar_t* key, const wchar_t* name) {
  DWORD size = 0;
  Value v;
  if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_ANY | RRF_NOEXPAND, &v.type, nullptr,
                   &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  v.data.resize((size + 1) / 2);
  RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_ANY | RRF_NOEXPAND, &v.type, v.data.data(),
               &size);
  v.data.resize(size / 2);
  return v;
}

// Silent, as a package manager uninstalls: by the command in the Apps & features entry.
int uninstall() {
  const std::optional<Value> command = read_value(kUninstallKey, L"QuietUninstallString");
  if (!command || command->data.size() < 2) {
    ADD_FAILURE() << "no QuietUninstallString";
    return -1;
  }
  return run_all(command->data.substr(0, command->data.size() - 1));
}

// Silent and in place, as a caller that waits for the uninstall's code runs it.
int uninstall_in_place(const std::wstring& folder) {
  return run_all(L"\"" + folder + L"\\uninstall.exe\" /S _?=" + folder, false);
}

bool key_exists(const wchar_t* key) {
  HKEY k = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
  RegCloseKey(k);
  return true;
}

std::optional<Value> user_path() {
  return read_value(L"Environment", L"Path");
}

void set_user_path(const std::optional<Value>& v) {
  HKEY k = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Environment", 0, nullptr, 0, KEY_SET_VALUE,
                            nullptr, &k, nullptr),
            ERROR_SUCCESS);
  if (v) {
    RegSetValueExW(k, L"Path", 0, v->type, reinterpret_cast<const BYTE*>(v->data.data()),
                   static_cast<DWORD>(v->data.size() * sizeof(wchar_t)));
  } else {
    RegDeleteValueW(k, L"Path");
  }
  RegCloseKey(k);
}

Value sz(const std::wstring& text) {
  return {REG_SZ, text + L'\0'};
}
Value expand_sz(const std::wstring& text) {
  return {REG_EXPAND_SZ, text + L'\0'};
}

std::string shown(const std::optional<Value>& v) {  // for failure messages
  if (!v) return "(none)";
  std::string s = v->type == REG_SZ          ? "REG_SZ "
                  : v->type == REG_EXPAND_SZ ? "REG_EXPAND_SZ "
                                             : "other ";
  for (wchar_t c : v->data.substr(0, 120)) s += c > 0 && c < 0x80 ? static_cast<char>(c) : '?';
  return s + (v->data.size() > 120 ? "... (" + std::to_string(v->data.size()) + " units)" : "");
}

// Entries of 19 characters and a ';', up to `units` in all.
std::wstring long_path(std::size_t units) {
  std::wstring s;
  for (int i = 0; s.size() + 20 <= units; ++i)
    s += L"C:\\Tools\\Folder" + std::to_wstring(10000 + i) + L';';
  s.pop_back();
  return s + std::wstring(units - s.size(), L'x');
}

void expect_nothing_left(const std::wstring& folder) {
  EXPECT_FALSE(fs::exists(folder)) << "install folder left";
  EXPECT_FALSE(key_exists(kUninstallKey)) << "Apps & features entry left";
  EXPECT_FALSE(key_exists(kVerbKey)) << "verb left";
  EXPECT_FALSE(key_exists(L"Software\\Classes\\SystemFileAssociations\\.css")) << "empty key left";
  EXPECT_FALSE(fs::exists(kSendTo)) << "Send To shortcut left";
}

TEST(Setup, PathAfterInstallAndAfterUninstall) {
  const std::wstring f = kDefaultFolder;
  std::wstring upper = f;
  CharUpperW(upper.data());
  const std::wstring at_limit = long_path(32767 - f.size() - 1);
  const std::wstring past_limit = long_path(32767 - f.size());
  const std::optional<Value> none;
  const struct {
    const char* name;
    std::optional<Value> before, installed, uninstalled;
    int code;  // the setup's exit code
  } rows[] = {
      {"missing", none, expand_sz(f), none, 0},
      {"empty", sz(L""), sz(f), sz(L""), 0},
      {"REG_SZ", sz(L"C:\\A;D:\\B"), sz(L"C:\\A;D:\\B;" + f), sz(L"C:\\A;D:\\B"), 0},
      {"REG_EXPAND_SZ", expand_sz(L"%USERPROFILE%\\bin;%SystemRoot%\\x"),
       expand_sz(L"%USERPROFILE%\\bin;%SystemRoot%\\x;" + f),
       expand_sz(L"%USERPROFILE%\\bin;%SystemRoot%\\x"), 0},
      {"trailing ;", sz(L"C:\\A;"), sz(L"C:\\A;" + f + L";"), sz(L"C:\\A;"), 0},
      {"empty entries", sz(L";C:\\A;;D:\\B"), sz(L";C:\\A;;D:\\B;" + f), sz(L";C:\\A;;D:\\B"), 0},
      {"other case", sz(L"C:\\A;" + upper), sz(L"C:\\A;" + upper), sz(L"C:\\A;" + upper), 0},
      {"trailing \\", sz(f + L"\\;C:\\A"), sz(f + L"\\;C:\\A"), sz(f + L"\\;C:\\A"), 0},
      {"the user's entry", expand_sz(f + L";%USERPROFILE%\\bin"),
       expand_sz(f + L";%USERPROFILE%\\bin"), expand_sz(f + L";%USERPROFILE%\\bin"), 0},
      {"non-ASCII", sz(L"C:\\Jiří\\Nástroje;D:\\日本語"), sz(L"C:\\Jiří\\Nástroje;D:\\日本語;" + f),
       sz(L"C:\\Jiří\\Nástroje;D:\\日本語"), 0},
      {"5,000", sz(long_path(5000)), sz(long_path(5000) + L";" + f), sz(long_path(5000)), 0},
      {"32,000", expand_sz(long_path(32000)), expand_sz(long_path(32000) + L";" + f),
       expand_sz(long_path(32000)), 0},
      {"32,767 after", sz(at_limit), sz(at_limit + L";" + f), sz(at_limit), 0},
      {"past 32,767", sz(past_limit), sz(past_limit), sz(past_limit), 4},
      {"not a string", Value{REG_BINARY, L"C:\\A"}, Value{REG_BINARY, L"C:\\A"},
       Value{REG_BINARY, L"C:\\A"}, 3},
      {"null inside", sz(std::wstring(L"C:\\A\0D:\\B", 9)), sz(std::wstring(L"C:\\A\0D:\\B", 9)),
       sz(std::wstring(L"C:\\A\0D:\\B", 9)), 3},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    set_user_path(row.before);
    EXPECT_EQ(install(), row.code);
    EXPECT_TRUE(fs::exists(f + L"\\veltrim.exe"));
    const std::optional<Value> installed = user_path();
    EXPECT_TRUE(installed == row.installed)
        << shown(installed) << "\nwant " << shown(row.installed);
    // An entry the setup did not add, or PATH it left as it was, is not its to take out.
    EXPECT_EQ(uninstall(), 0);
    const std::optional<Value> uninstalled = user_path();
    EXPECT_TRUE(uninstalled == row.uninstalled)
        << shown(uninstalled) << "\nwant " << shown(row.uninstalled);
    expect_nothing_left(f);
  }
  set_user_path(std::nullopt);
}

// Runs a line of /bin/sh outside Wine and waits for it; false when this is not Wine.
bool unix_shell(std::string line) {
  using Spawn = long(__cdecl*)(char* const*, int);
  const auto spawn = reinterpret_cast<Spawn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll"), "__wine_unix_spawnvp")));
  if (spawn == nullptr) return false;
  char sh[] = "/bin/sh";
  char c[] = "-c";
  char* argv[] = {sh, c, line.data(), nullptr};
  spawn(argv, 1);
  return true;
}

// What a console opened after the setup prints for a command run in C:\. Wine gives a new
// process of its own, started from outside it, an environment built anew from the registry,
// as Explorer builds one on WM_SETTINGCHANGE: so the console is started through /bin/sh.
std::string new_console(const std::string& command) {
  const std::string out = "/tmp/veltrim-setup-console-" + std::to_string(GetCurrentProcessId());
  const char* wine = std::getenv("VELTRIM_WINE");
  std::string line = "timeout 60 " + std::string(wine != nullptr ? wine : "/usr/lib/wine/wine64") +
                     " cmd /c 'cd /d C:\\ && " + command + "' >" + out + " 2>&1 </dev/null";
  // Its status is cmd's, which a command not found makes 1.
  if (!unix_shell(line)) {
    ADD_FAILURE() << "not Wine: no way to open a console as the shell does";
    return "";
  }

  const fs::path file = L"Z:" + fs::path(out).make_preferred().wstring();
  std::ifstream f(file, std::ios::binary);
  EXPECT_TRUE(f) << line;
  std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  f.close();
  fs::remove(file);
  return text;
}

TEST(Setup, NewConsoleFindsTheToolByName) {
  set_user_path(sz(L"C:\\A"));
  ASSERT_EQ(install(), 0);
  EXPECT_EQ(new_console("veltrim --version"), "\r\nVeltrim v1.1\r\n");
  ASSERT_EQ(uninstall(), 0);
  EXPECT_EQ(new_console("veltrim --version").find("Veltrim v"), std::string::npos);
  set_user_path(std::nullopt);
}

std::vector<std::wstring> files_in(const std::wstring& folder) {
  std::vector<std::wstring> names;
  for (const auto& e : fs::directory_iterator(folder))
    names.push_back(e.path().filename().wstring());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(Setup, TwiceGivesOneCopyOneEntryOnePathEntry) {
  set_user_path(sz(L"C:\\A"));
  ASSERT_EQ(install(), 0);
  ASSERT_EQ(install(), 0);
  EXPECT_TRUE(user_path() == sz(L"C:\\A;" + kDefaultFolder)) << shown(user_path());
  const std::vector<std::wstring> want = {L"LICENSE.txt", L"README.txt", L"uninstall.exe",
                                          L"veltrim.exe"};
  EXPECT_EQ(files_in(kDefaultFolder), want);
  // Again into another folder: the copy moves, PATH follows it.
  const std::wstring moved = L"C:\\Moved Veltrim";
  ASSERT_EQ(install(moved), 0);
  EXPECT_FALSE(fs::exists(kDefaultFolder));
  EXPECT_EQ(files_in(moved), want);
  EXPECT_TRUE(user_path() == sz(L"C:\\A;" + moved)) << shown(user_path());
  EXPECT_TRUE(read_value(kUninstallKey, L"InstallLocation") == sz(moved));
  // The uninstaller left in the first folder describes no install there: it removes nothing.
  fs::create_directories(kDefaultFolder);
  fs::copy_file(moved + L"\\uninstall.exe", kDefaultFolder + L"\\uninstall.exe");
  EXPECT_EQ(uninstall_in_place(kDefaultFolder), 11);
  EXPECT_TRUE(read_value(kUninstallKey, L"InstallLocation") == sz(moved));
  EXPECT_TRUE(fs::exists(kSendTo));
  fs::remove_all(kDefaultFolder);
  ASSERT_EQ(uninstall(), 0);
  EXPECT_TRUE(user_path() == sz(L"C:\\A")) << shown(user_path());
  expect_nothing_left(moved);
  set_user_path(std::nullopt);
}

std::string read_bytes(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// A folder with spaces and letters of several scripts, and everything the setup writes
// pointing into it; the verb's command, as Explorer runs it on a file, converts that file.
TEST(Setup, FolderWithSpacesAndNonAsciiAndTheVerbsCommand) {
  set_user_path(std::nullopt);
  const std::wstring folder = L"C:\\Programy Jiří\\Veltrim Ж 日本";
  ASSERT_EQ(install(folder), 0);
  EXPECT_TRUE(fs::exists(folder + L"\\veltrim.exe"));
  EXPECT_TRUE(user_path() == expand_sz(folder)) << shown(user_path());
  EXPECT_TRUE(fs::exists(kSendTo));
  EXPECT_TRUE(read_value(kUninstallKey, L"InstallLocation") == sz(folder));
  EXPECT_TRUE(read_value(kUninstallKey, L"QuietUninstallString") ==
              sz(L"\"" + folder + L"\\uninstall.exe\" /S"));
  EXPECT_TRUE(read_value(kVerbKey, L"MultiSelectModel") == sz(L"Single"));
  const std::optional<Value> command =
      read_value((std::wstring(kVerbKey) + L"\\command").c_str(), nullptr);
  ASSERT_TRUE(command);
  EXPECT_EQ(command->data, L"\"" + folder + L"\\veltrim.exe\" \"%1\"" + L'\0');

  const fs::path css = fs::temp_directory_path() / L"Styly ů" / L"site.css";
  fs::create_directories(css.parent_path());
  std::ofstream(css, std::ios::binary) << "a {\n  color: red; /* x */\n}\n";
  std::wstring line = command->data.substr(0, command->data.size() - 1);
  line.replace(line.find(L"%1"), 2, css.wstring());
  EXPECT_EQ(run_all(line), 0);
  EXPECT_EQ(read_bytes(fs::path(css).replace_extension(L".olf")), "a{color:red;}\r\n");
  fs::remove_all(css.parent_path());

  ASSERT_EQ(uninstall(), 0);
  expect_nothing_left(folder);
  EXPECT_TRUE(fs::exists(L"C:\\Programy Jiří"));  // the parent was there before: it stays
  EXPECT_FALSE(user_path()) << shown(user_path());
  fs::remove(L"C:\\Programy Jiří");
}

void write_file(const fs::path& p, const std::string& bytes) {
  std::ofstream(p, std::ios::binary) << bytes;
}

// The user's own file of one of the setup's names refuses the folder: nothing is written,
// replaced or registered, PATH is left as it was.
TEST(Setup, FolderHoldingTheUsersFileOfOurNameIsLeftUntouched) {
  const std::wstring folder = L"C:\\Work\\Notes";
  for (const wchar_t* name : {L"README.txt", L"LICENSE.txt", L"veltrim.exe", L"uninstall.exe"}) {
    SCOPED_TRACE(fs::path(name).string());
    set_user_path(sz(L"C:\\A"));
    fs::create_directories(folder);
    write_file(folder + L"\\" + name, "mine");
    EXPECT_EQ(install(folder), 8);
    EXPECT_EQ(files_in(folder), std::vector<std::wstring>{name});
    EXPECT_EQ(read_bytes(folder + L"\\" + name), "mine");
    EXPECT_FALSE(key_exists(kUninstallKey));
    EXPECT_TRUE(user_path() == sz(L"C:\\A")) << shown(user_path());
    fs::remove_all(L"C:\\Work");
  }
  set_user_path(std::nullopt);
}

// Into a folder of the user's: Apps & features counts what the setup wrote, and the uninstall
// deletes only files that are still as the setup wrote them.
TEST(Setup, UninstallDeletesOnlyTheFilesTheSetupWroteAndStillHoldWhatItWrote) {
  const std::wstring folder = L"C:\\Work\\Notes";
  set_user_path(sz(L"C:\\A"));
  fs::create_directories(folder);
  write_file(folder + L"\\notes.txt", std::string(3 << 20, 'n'));
  ASSERT_EQ(install(folder), 0);
  std::uintmax_t ours = 0;
  for (const wchar_t* name : {L"README.txt", L"LICENSE.txt", L"veltrim.exe", L"uninstall.exe"})
    ours += fs::file_size(folder + L"\\" + name);
  const std::optional<Value> size = read_value(kUninstallKey, L"EstimatedSize");
  ASSERT_TRUE(size && size->type == REG_DWORD);
  EXPECT_EQ(*reinterpret_cast<const DWORD*>(size->data.data()), (ours + 1023) / 1024);

  // An earlier copy installed here before the setup recorded its files and whether it added
  // the PATH entry (it always had) is updated in place, and the entry still goes with it.
  RegDeleteKeyW(HKEY_CURRENT_USER, (std::wstring(kUninstallKey) + L"\\Files").c_str());
  RegDeleteKeyValueW(HKEY_CURRENT_USER, kUninstallKey, L"PathAdded");
  ASSERT_EQ(install(folder), 0);

  // A note the user changed stays theirs: an update leaves it, and so does uninstalling.
  write_file(folder + L"\\README.txt", "my own notes now");
  ASSERT_EQ(install(folder), 0);
  // A recorded file that cannot be read to tell whether it is still ours keeps the entry.
  HANDLE held = CreateFileW((folder + L"\\LICENSE.txt").c_str(), GENERIC_READ, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(uninstall_in_place(folder), 9);
  CloseHandle(held);
  EXPECT_TRUE(key_exists(kUninstallKey));
  EXPECT_EQ(uninstall(), 0);
  EXPECT_EQ(files_in(folder), (std::vector<std::wstring>{L"README.txt", L"notes.txt"}));
  EXPECT_EQ(read_bytes(folder + L"\\README.txt"), "my own notes now");
  EXPECT_FALSE(key_exists(kUninstallKey));
  EXPECT_TRUE(user_path() == sz(L"C:\\A")) << shown(user_path());
  fs::remove_all(L"C:\\Work");
  set_user_path(std::nullopt);
}

// Everything an install left, removed by hand after a test that leaves one behind.
void forget_install(const std::wstring& folder) {
  RegDeleteTreeW(HKEY_CURRENT_USER, kUninstallKey);
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Classes\\SystemFileAssociations\\.css");
  fs::remove(kSendTo);
  fs::remove_all(folder);
  set_user_path(std::nullopt);
}

// Moving the copy runs the old folder's uninstaller only while it is the one the setup wrote
// there (any, before files were recorded), and stops when it does not start: with nothing
// changed, the setup ends with 11.
TEST(Setup, MoveStopsAtAnOldUninstallerNotOursOrNotStarting) {
  const std::wstring old = L"C:\\Old Veltrim";
  // A program that runs, but not the recorded one; and one from before Files that cannot run.
  for (const bool recorded : {true, false}) {
    SCOPED_TRACE(recorded ? "not the one recorded" : "not starting");
    set_user_path(sz(L"C:\\A"));
    ASSERT_EQ(install(old), 0);
    const std::string bytes = recorded ? read_bytes(old + L"\\veltrim.exe") : "not a program";
    write_file(old + L"\\uninstall.exe", bytes);
    if (!recorded)
      RegDeleteKeyW(HKEY_CURRENT_USER, (std::wstring(kUninstallKey) + L"\\Files").c_str());
    EXPECT_EQ(install(kDefaultFolder), 11);
    EXPECT_TRUE(read_value(kUninstallKey, L"InstallLocation") == sz(old));
    EXPECT_TRUE(user_path() == sz(L"C:\\A;" + old)) << shown(user_path());
    EXPECT_EQ(read_bytes(old + L"\\uninstall.exe"), bytes);
    forget_install(old);
  }
}

// A folder name that an expanding PATH would read as a variable: installed, PATH left alone.
TEST(Setup, FolderNameWithPercentPairLeavesPathAsItWas) {
  const std::wstring folder = L"C:\\Kit%USERNAME%Tools";
  set_user_path(expand_sz(L"C:\\A"));
  EXPECT_EQ(install(folder), 7);
  EXPECT_TRUE(fs::exists(folder + L"\\veltrim.exe"));
  EXPECT_TRUE(user_path() == expand_sz(L"C:\\A")) << shown(user_path());
  EXPECT_EQ(uninstall(), 0);
  expect_nothing_left(folder);
  EXPECT_TRUE(user_path() == expand_sz(L"C:\\A")) << shown(user_path());
  set_user_path(std::nullopt);
}

// veltrim.exe running as a filter (`veltrim -`), waiting on a pipe until `input` is closed.
struct Filter {
  HANDLE process = nullptr, input = nullptr;
};

Filter start_filter(const std::wstring& exe) {
  Filter f;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  std::wstring line = L"\"" + exe + L"\" -";
  PROCESS_INFORMATION pi{};
  if (CreatePipe(&si.hStdInput, &f.input, &inherit, 0) &&
      SetHandleInformation(f.input, HANDLE_FLAG_INHERIT, 0) &&
      CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                     nullptr, &si, &pi)) {
    CloseHandle(pi.hThread);
    f.process = pi.hProcess;
  }
  CloseHandle(si.hStdInput);
  return f;
}

// A running veltrim.exe can be neither replaced nor deleted: the update and the uninstall end
// with 9 and change nothing.
TEST(Setup, RunningVeltrimStopsUpdateAndUninstallWithNothingChanged) {
  set_user_path(sz(L"C:\\A"));
  ASSERT_EQ(install(), 0);
  const std::wstring exe = kDefaultFolder + L"\\veltrim.exe";
  // An update would write its own version.
  RegSetKeyValueW(HKEY_CURRENT_USER, kUninstallKey, L"DisplayVersion", REG_SZ, L"1.0", 8);
  const Filter filter = start_filter(exe);
  ASSERT_NE(filter.process, nullptr);
  const auto written = fs::last_write_time(exe);
  const std::vector<std::wstring> all = {L"LICENSE.txt", L"README.txt", L"uninstall.exe",
                                         L"veltrim.exe"};
  const auto expect_unchanged = [&] {
    EXPECT_TRUE(read_value(kUninstallKey, L"DisplayVersion") == sz(L"1.0"));
    EXPECT_EQ(fs::last_write_time(exe), written);
    EXPECT_EQ(files_in(kDefaultFolder), all);
    EXPECT_TRUE(user_path() == sz(L"C:\\A;" + kDefaultFolder)) << shown(user_path());
  };
  EXPECT_EQ(install(), 9);
  expect_unchanged();
  EXPECT_EQ(uninstall_in_place(kDefaultFolder), 9);
  expect_unchanged();
  uninstall();  // ends with 0 at once, whatever its copy meets (setup.nsi)
  expect_unchanged();

  CloseHandle(filter.input);
  EXPECT_EQ(WaitForSingleObject(filter.process, 30000), WAIT_OBJECT_0);
  CloseHandle(filter.process);
  // In place, the uninstall is over when its command ends, and leaves its own file alone.
  EXPECT_EQ(uninstall_in_place(kDefaultFolder), 0);
  EXPECT_EQ(files_in(kDefaultFolder), std::vector<std::wstring>{L"uninstall.exe"});
  EXPECT_FALSE(key_exists(kUninstallKey));
  EXPECT_TRUE(user_path() == sz(L"C:\\A")) << shown(user_path());
  fs::remove_all(kDefaultFolder);
  expect_nothing_left(kDefaultFolder);
  set_user_path(std::nullopt);
}

// At a drive's root: PATH names the root, the uninstaller run in place as a caller names the
// folder (with its "\\") knows its own file and leaves it to that caller, and a later install
// elsewhere moves the copy.
TEST(Setup, AtADrivesRootUninstallInPlaceAndMove) {
  const char* prefix = std::getenv("WINEPREFIX");
  ASSERT_NE(prefix, nullptr);
  const std::wstring backing = L"C:\\Drive R";
  fs::create_directories(backing);
  const std::string drive = std::string(prefix) + "/dosdevices/r:";
  ASSERT_TRUE(unix_shell("ln -sfn ../drive_c/'Drive R' '" + drive + "'"));
  set_user_path(sz(L"C:\\A"));
  ASSERT_EQ(install(L"R:\\"), 0);
  EXPECT_TRUE(user_path() == sz(L"C:\\A;R:\\")) << shown(user_path());
  EXPECT_EQ(run_all(L"\"R:\\uninstall.exe\" /S _?=R:\\", false), 0);
  EXPECT_EQ(files_in(backing), std::vector<std::wstring>{L"uninstall.exe"});
  EXPECT_TRUE(user_path() == sz(L"C:\\A")) << shown(user_path());
  fs::remove(backing + L"\\uninstall.exe");
  ASSERT_EQ(install(L"R:\\"), 0);
  EXPECT_EQ(install(kDefaultFolder), 0);
  EXPECT_EQ(files_in(backing), std::vector<std::wstring>{});
  EXPECT_EQ(uninstall(), 0);
  EXPECT_TRUE(user_path() == sz(L"C:\\A")) << shown(user_path());
  expect_nothing_left(kDefaultFolder);
  unix_shell("rm -f '" + drive + "'");
  fs::remove_all(backing);
  set_user_path(std::nullopt);
}

// The widths of the first icon a file carries (0 in the directory stands for 256).
std::vector<int> icon_widths(const std::wstring& file) {
  const LPCWSTR group_icon = MAKEINTRESOURCEW(14);  // RT_GROUP_ICON, of the wide API
  std::vector<int> widths;
  HMODULE m = LoadLibraryExW(file.c_str(), nullptr,
                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (m == nullptr) return widths;
  LPWSTR first = nullptr;
  EnumResourceNamesW(
      m, group_icon,
      [](HMODULE, LPCWSTR, LPWSTR name, LONG_PTR found) -> BOOL {
        *reinterpret_cast<LPWSTR*>(found) = name;  // an ordinal, in the files checked here
        return FALSE;
      },
      reinterpret_cast<LONG_PTR>(&first));
  HRSRC r = first != nullptr ? FindResourceW(m, first, group_icon) : nullptr;
  const auto* dir =
      r != nullptr ? static_cast<const BYTE*>(LockResource(LoadResource(m, r))) : nullptr;
  if (dir != nullptr) {
    const int count = dir[4] | dir[5] << 8;
    for (int i = 0; i < count; ++i) widths.push_back(dir[6 + 14 * i] == 0 ? 256 : dir[6 + 14 * i]);
  }
  std::sort(widths.begin(), widths.end());
  FreeLibrary(m);
  return widths;
}

TEST(Setup, ProgramSetupAndUninstallerCarryTheProductsIcon) {
  set_user_path(std::nullopt);
  ASSERT_EQ(install(), 0);
  const std::vector<int> want = {16, 24, 32, 48, 64, 128, 256};
  EXPECT_EQ(icon_widths(kDefaultFolder + L"\\veltrim.exe"), want);
  EXPECT_EQ(icon_widths(setup_file()), want);
  EXPECT_EQ(icon_widths(kDefaultFolder + L"\\uninstall.exe"), want);
  EXPECT_TRUE(read_value(kUninstallKey, L"DisplayIcon") == sz(kDefaultFolder + L"\\veltrim.exe"));
  ASSERT_EQ(uninstall(), 0);
  expect_nothing_left(kDefaultFolder);
}

}  // namespace
}  // namespace veltrim::testing

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!std::filesystem::exists(veltrim::testing::setup_file())) {
    std::fprintf(stderr, "VELTRIM_SETUP names no setup\n");
    return 2;
  }
  return RUN_ALL_TESTS();
}
