// The operating system's files on Windows, through KERNEL32 alone.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "platform/file_names.h"
#include "platform/os_file.h"

namespace veltrim {

namespace {

HANDLE handle_of(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// Bounds one ReadFile or WriteFile; the buffers are far smaller anyway.
DWORD chunk(std::size_t size) { return size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size); }

// The longest path the wide calls take, with its NUL.
constexpr DWORD kPathUnits = 32768;

// The path that opens exactly the file `name` spells: the \\?\ form of its absolute path
// (win_names.h), which needs no registry setting for long paths, unlike long-path awareness
// in a manifest. Folders, "." and ".." are resolved first, as for a plain path. False for a
// device name and for bytes that spell no UTF-16 name.
bool exact_path(const char* name, wchar_t (&path)[kPathUnits]) {
  if (is_device_name(name)) return false;
  static wchar_t typed[kPathUnits];
  if (!bytes_to_wide(name, typed, kPathUnits) || typed[0] == L'\0') return false;
  if (is_verbatim_path(typed)) {  // used as typed, which is what that form means
    std::wcscpy(path, typed);
    return true;
  }
  static wchar_t full[kPathUnits];
  const DWORD got = GetFullPathNameW(typed, kPathUnits, full, nullptr);
  if (got == 0 || got >= kPathUnits) return false;
  return verbatim_path(full, path, kPathUnits);
}

// One run opens two files, one after the other: their paths share this room.
wchar_t g_path[kPathUnits];
WIN32_FIND_DATAW g_found;

// The last component of a path in \\?\ form.
const wchar_t* last_part(const wchar_t* path) {
  const wchar_t* const slash = std::wcsrchr(path, L'\\');
  return slash != nullptr ? slash + 1 : path;
}

// True when two names are the same to Windows, which ignores letter case in names.
bool same_name(const wchar_t* a, const wchar_t* b) {
  return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

// The name the file system holds for the existing file at `path` (its long name, whichever
// of its names the path gives), in g_found.cFileName; false when there is no such file or
// it cannot be looked up. (GetLongPathNameW would tell too, but Wine's copies a \\?\ path
// as it is.) A last component with '*' or '?' is a pattern, which names no one file.
bool find_held(const wchar_t* path) {
  if (std::wcspbrk(last_part(path), L"*?") != nullptr) return false;
  const HANDLE found = FindFirstFileW(path, &g_found);
  if (found == INVALID_HANDLE_VALUE) return false;
  FindClose(found);
  return true;
}

// CreateFileW on an exact path, kept only when it is a disk file: a console, printer, serial
// port or pipe would wait for input that never comes, or swallow the output.
HANDLE open_exact(const wchar_t* path, DWORD access, DWORD share, DWORD disposition) {
  HANDLE h = CreateFileW(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    return INVALID_HANDLE_VALUE;
  }
  return h;
}

}  // namespace

SystemFile::~SystemFile() {
  release();
}

bool SystemFile::identity(FileId& id) const {
  // The 64-bit index: on ReFS, whose files have 128-bit ones, two files may share it, which
  // at worst refuses an output that was safe to write.
  BY_HANDLE_FILE_INFORMATION info;
  if (!is_open() || !GetFileInformationByHandle(handle_of(handle_), &info)) return false;
  id.volume = info.dwVolumeSerialNumber;
  id.index = std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow;
  return true;
}

bool SystemFile::is_disk_file() const {
  return is_open() && GetFileType(handle_of(handle_)) == FILE_TYPE_DISK;
}

bool SystemFile::release() {
  if (!is_open()) return true;
  const HANDLE h = handle_of(handle_);
  handle_ = kInvalid;
  return CloseHandle(h) != 0;
}

bool FileSource::open(const char* name) {
  // Others may go on reading and writing the file meanwhile, as `type` lets them: a log
  // tailer's or an editor's file would be refused otherwise. A folder does not open this way.
  if (!exact_path(name, g_path)) return false;
  HANDLE h = open_exact(g_path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<std::intptr_t>(h);
  return true;
}

namespace {

// A standard handle as the process got it; the C runtime's text mode is left out of the
// way, so no CR LF is translated and no Ctrl-Z ends a file.
std::intptr_t standard_handle(DWORD which) {
  const HANDLE h = GetStdHandle(which);
  return h == nullptr || h == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<std::intptr_t>(h);
}

}  // namespace

bool FileSource::open_standard_input() {
  handle_ = standard_handle(STD_INPUT_HANDLE);
  return is_open();
}

long FileSource::read(unsigned char* dst, std::size_t size) {
  DWORD got = 0;
  if (!ReadFile(handle_of(handle_), dst, chunk(size), &got, nullptr)) {
    // The writer of a pipe has closed it: that is the end of the input, not a failure.
    return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
  }
  return static_cast<long>(got);
}

bool FileSink::create(const char* name, const FileSource& input,
                      const std::vector<FileId>& written) {
  // An output that another run is writing, which shares it for reading only, fails here
  // with a sharing violation before anything is truncated.
  // A short (8.3) name reaches its long-named file: "LONGST~1.OLF" may be someone's
  // "long style theme.olf". An output name that reaches an existing file under another name
  // is refused before anything is truncated; a difference in letter case alone is the same
  // name to Windows. When the name cannot be looked up for another reason than that no such
  // file exists, that cannot be ruled out either.
  if (!exact_path(name, g_path)) return false;
  if (find_held(g_path)) {
    if (!same_name(last_part(g_path), g_found.cFileName)) return false;
  } else if (GetLastError() != ERROR_FILE_NOT_FOUND && GetLastError() != ERROR_PATH_NOT_FOUND) {
    return false;
  }
  // Opened as it is, and truncated only once it is known to be neither the input (a link
  // named like the output) nor an output that this run has written already (`a.olf` after
  // `A.olf`, where letter case makes names differ).
  HANDLE h = open_exact(g_path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<std::intptr_t>(h);
  if (!may_replace(*this, input, written) || !SetEndOfFile(h)) {
    release();
    return false;
  }
  return true;
}

bool FileSink::open_standard_output() {
  handle_ = standard_handle(STD_OUTPUT_HANDLE);
  return is_open();
}

long FileSink::write(const unsigned char* src, std::size_t size) {
  DWORD put = 0;
  if (!WriteFile(handle_of(handle_), src, chunk(size), &put, nullptr)) return -1;
  return static_cast<long>(put);
}

bool long_file_name(const char* name, char* dst, std::size_t cap) {
  if (!exact_path(name, g_path) || !find_held(g_path)) return false;
  const wchar_t* const held = g_found.cFileName;
  if (same_name(last_part(g_path), held)) return false;
  static char last[3 * kPathUnits];
  return wide_to_bytes(held, last, sizeof last) && with_last_component(name, last, dst, cap);
}

namespace {

// True when a name the file system holds ends in ".css", in ASCII letter case as the name
// check takes it (Windows' own case rules would also take a long s for an 's').
bool is_stylesheet(const wchar_t* name) {
  const std::size_t len = std::wcslen(name);
  const wchar_t* const ext = name + len - (len >= 4 ? 4 : len);
  return len >= 4 && ext[0] == L'.' && (ext[1] | 0x20) == L'c' && (ext[2] | 0x20) == L's' &&
         (ext[3] | 0x20) == L's';
}

// Name order as Windows keeps it: letter case aside, then by case.
bool name_before(const std::wstring& a, const std::wstring& b) {
  const int c = CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE);
  if (c != CSTR_EQUAL) return c == CSTR_LESS_THAN;
  return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, FALSE) == CSTR_LESS_THAN;
}

}  // namespace

bool match_stylesheets(const char* arg, std::vector<std::string>& names) {
  names.clear();
  if (!has_wildcard(arg)) return false;
  // FindFirstFileW matches short names too: "*.css" finds "a.cssx" by its "A~1.CSS". Only
  // the long name counts.
  std::vector<std::wstring> found;
  WIN32_FIND_DATAW f;
  const HANDLE h = exact_path(arg, g_path) ? FindFirstFileW(g_path, &f) : INVALID_HANDLE_VALUE;
  if (h == INVALID_HANDLE_VALUE) return true;
  do {
    if ((f.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && is_stylesheet(f.cFileName)) {
      found.emplace_back(f.cFileName);
    }
  } while (FindNextFileW(h, &f));
  FindClose(h);
  std::sort(found.begin(), found.end(), name_before);
  static char last[3 * MAX_PATH + 1];  // a component is at most MAX_PATH - 1 units
  for (const std::wstring& name : found) {
    if (!wide_to_bytes(name.c_str(), last, sizeof last)) continue;
    std::string joined(std::strlen(arg) + std::strlen(last) + 1, '\0');
    if (!with_last_component(arg, last, &joined[0], joined.size())) continue;
    joined.resize(std::strlen(joined.c_str()));
    names.push_back(joined);
  }
  return true;
}

}  // namespace veltrim
