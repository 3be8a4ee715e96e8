// The operating system's files and names on Windows, through KERNEL32 alone. Every name is
// worked out afresh for each call into a path of its own, and every error is taken where it
// happens: no state passes from one call to another.
#include <windows.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "platform/file_names.h"
#include "platform/native_file.h"
#include "platform/win32_names.h"

namespace veltrim {

namespace {

HANDLE handle_of(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// Bounds one ReadFile or WriteFile; the buffers are far smaller anyway.
DWORD chunk(std::size_t size) { return size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size); }

// The last component of a path in \\?\ form.
const wchar_t* last_part(const std::wstring& path) {
  const std::size_t slash = path.rfind(L'\\');
  return path.c_str() + (slash == std::wstring::npos ? 0 : slash + 1);
}

// The file system's names, through FindFirstFileW, which gives each file's long name,
// whichever of its names the path holds. (GetLongPathNameW would tell too, but Wine's copies
// a \\?\ path as it is.)
class Win32Names final : public NameSystem {
 public:
  Lookup look_up(const char* name, std::string& given, std::string& held) override {
    const std::wstring path = exact_path(name);
    // A pattern names no one file.
    if (path.empty() || std::wcspbrk(last_part(path), L"*?") != nullptr) return UNKNOWN;
    WIN32_FIND_DATAW found;
    const HANDLE h = FindFirstFileW(path.c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? MISSING : UNKNOWN;
    }
    FindClose(h);
    given = bytes_of(last_part(path));
    held = bytes_of(found.cFileName);
    return given.empty() || held.empty() ? UNKNOWN : FOUND;
  }

  bool list(const char* pattern, std::vector<FolderEntry>& entries) override {
    const std::wstring path = exact_path(pattern);
    WIN32_FIND_DATAW f;
    const HANDLE h = path.empty() ? INVALID_HANDLE_VALUE : FindFirstFileW(path.c_str(), &f);
    if (h == INVALID_HANDLE_VALUE) return false;
    do {
      entries.push_back({bytes_of(f.cFileName), (f.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (FindNextFileW(h, &f));
    FindClose(h);
    return true;
  }

  int compare(const std::string& a, const std::string& b, bool ignore_case) override {
    const int c = CompareStringOrdinal(wide_of(a.c_str()).c_str(), -1, wide_of(b.c_str()).c_str(),
                                       -1, ignore_case ? TRUE : FALSE);
    return c - CSTR_EQUAL;
  }
};

// CreateFileW on an exact path, kept only when it is a disk file: a console, printer, serial
// port or pipe would wait for input that never comes, or swallow the output. `created` tells
// whether OPEN_ALWAYS made the file.
HANDLE open_exact(const std::wstring& path, DWORD access, DWORD share, DWORD disposition,
                  DWORD flags = FILE_ATTRIBUTE_NORMAL, bool* created = nullptr) {
  if (path.empty()) return INVALID_HANDLE_VALUE;
  HANDLE h = CreateFileW(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
  if (created != nullptr) *created = h != INVALID_HANDLE_VALUE && GetLastError() != ERROR_ALREADY_EXISTS;
  if (h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    return INVALID_HANDLE_VALUE;
  }
  return h;
}

// A standard handle as the process got it; the C runtime's text mode is left out of the
// way, so no CR LF is translated and no Ctrl-Z ends a file.
std::intptr_t standard_handle(DWORD which) {
  const HANDLE h = GetStdHandle(which);
  return h == nullptr || h == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<std::intptr_t>(h);
}

// What a file opened as itself (FILE_FLAG_OPEN_REPARSE_POINT) is.
enum Reparse {
  PLAIN_FILE,     // no reparse point
  LINK,           // a symbolic link or a junction: writing through it would reach a file the
                  // user did not name; also whatever cannot be told
  OTHER_REPARSE,  // a cloud file, a deduplicated one, a WSL link...: the system's own driver
                  // serves it, which opening it as itself went around
};

Reparse reparse_of(HANDLE h) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(h, &info)) return LINK;
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return PLAIN_FILE;
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag)) return LINK;
  return tag.ReparseTag == IO_REPARSE_TAG_SYMLINK || tag.ReparseTag == IO_REPARSE_TAG_MOUNT_POINT
             ? LINK
             : OTHER_REPARSE;
}

// A pipe that its maker set to PIPE_NOWAIT answers at once, with no data or no room yet.
bool is_pipe(std::intptr_t handle) {
  return GetFileType(handle_of(handle)) == FILE_TYPE_PIPE;
}

}  // namespace

std::unique_ptr<NameSystem> system_names() {
  return std::make_unique<Win32Names>();
}

NativeHandle::~NativeHandle() {
  release();
}

FileFacts facts_of(HANDLE h) {
  FileFacts facts;
  if (h == INVALID_HANDLE_VALUE) return facts;
  facts.disk = GetFileType(h) == FILE_TYPE_DISK;
  // The 64-bit index: on ReFS, whose files have 128-bit ones, two files may share it, which
  // at worst refuses an output that was safe to write. A handle without the right to read
  // attributes (Git Bash's `>>`) tells nothing: then the identity is unknown.
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileInformationByHandle(h, &info)) {
    facts.known = true;
    facts.id.volume = info.dwVolumeSerialNumber;
    facts.id.index = std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow;
  }
  return facts;
}

FileFacts NativeHandle::file_facts() const { return facts_of(handle_of(handle_)); }

bool NativeHandle::release() {
  if (!is_open()) return true;
  const HANDLE h = handle_of(handle_);
  handle_ = kInvalid;
  return CloseHandle(h) != 0;
}

bool NativeInputFile::open(const char* name) {
  // Others may go on reading and writing the file meanwhile, as `type` lets them: a log
  // tailer's or an editor's file would be refused otherwise. A folder does not open this way.
  const HANDLE h = open_exact(exact_path(name), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              OPEN_EXISTING);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<std::intptr_t>(h);
  return true;
}

bool NativeInputFile::open_standard_input() {
  handle_ = standard_handle(STD_INPUT_HANDLE);
  return is_open();
}

long NativeInputFile::read(unsigned char* dst, std::size_t size) {
  DWORD got = 0;
  while (!ReadFile(handle_of(handle_), dst, chunk(size), &got, nullptr)) {
    const DWORD error = GetLastError();
    // The writer of a pipe has closed it: that is the end of the input, not a failure.
    if (error == ERROR_BROKEN_PIPE) return 0;
    if (error != ERROR_NO_DATA || !is_pipe(handle_)) return -1;
    Sleep(1);  // a PIPE_NOWAIT pipe with nothing in it yet
  }
  return static_cast<long>(got);
}

bool NativeOutputFile::open(const char* name) {
  // Opened as it is, not truncated: the run truncates it once it knows that it is neither the
  // input nor an output this run has written. A symbolic link or junction is opened as itself
  // and refused. Shared for reading only: an output that another run is writing, or that a
  // program holds open for writing, fails here with a sharing violation.
  const std::size_t len = std::strlen(name);
  if (len >= sizeof name_) return false;
  const std::wstring path = exact_path(name);
  constexpr DWORD kShare = FILE_SHARE_READ;
  const HANDLE h = open_exact(path, GENERIC_WRITE, kShare, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, &created_);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<std::intptr_t>(h);
  std::memcpy(name_, name, len + 1);
  const Reparse reparse = reparse_of(h);
  if (reparse == PLAIN_FILE) return true;
  // OPEN_ALWAYS makes no reparse point: this one was there.
  created_ = false;
  const FileFacts itself = file_facts();
  release();
  if (reparse == LINK) return false;
  // Any other reparse point is written as the system serves it: opened again so, it must be
  // the same file (a WSL link, which Windows cannot open, is refused).
  const HANDLE served = open_exact(path, GENERIC_WRITE, kShare, OPEN_EXISTING);
  if (served == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<std::intptr_t>(served);
  if (sameness(file_facts(), itself) != SAME_FILE) {
    release();
    return false;
  }
  return true;
}

bool NativeOutputFile::truncate() {
  // Just opened, the position is at its start.
  return !file_facts().disk || SetEndOfFile(handle_of(handle_)) != 0;
}

void NativeOutputFile::discard() {
  // The output's own handle holds no right to delete: with it, every reader that does not
  // share deleting (`type`, most editors) would be kept out of the output while it is
  // written, and a file another program holds open could not be opened at all. So the file
  // is opened again with that right, as itself and sharing nothing but reading, which keeps
  // anyone from putting another file in its place meanwhile, and deleted through that handle
  // only when it is the very file this open made. One whose identity cannot be read is left.
  const FileFacts made = file_facts();
  const bool remove = created_ && made.known;
  created_ = false;
  release();
  if (!remove) return;
  const std::wstring path = exact_path(name_);
  const HANDLE h = path.empty() ? INVALID_HANDLE_VALUE
                                : CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ, nullptr,
                                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileInformationByHandle(h, &info) && info.dwVolumeSerialNumber == made.id.volume &&
      (std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow) == made.id.index) {
    FILE_DISPOSITION_INFO gone{};
    gone.DeleteFile = TRUE;
    SetFileInformationByHandle(h, FileDispositionInfo, &gone, sizeof gone);
  }
  CloseHandle(h);
}

bool NativeOutputFile::open_standard_output() {
  handle_ = standard_handle(STD_OUTPUT_HANDLE);
  return is_open();
}

long NativeOutputFile::write(const unsigned char* src, std::size_t size) {
  DWORD put = 0;
  // A PIPE_NOWAIT pipe that is full takes nothing yet, and says so as a write of 0 bytes.
  for (;;) {
    if (!WriteFile(handle_of(handle_), src, chunk(size), &put, nullptr)) return -1;
    if (put != 0 || size == 0 || !is_pipe(handle_)) break;
    Sleep(1);
  }
  return static_cast<long>(put);
}

}  // namespace veltrim
