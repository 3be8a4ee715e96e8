// The operating system's file on Windows, through KERNEL32 alone.
#include <windows.h>

#include <cwchar>

#include "platform/file_io.h"
#include "platform/win_names.h"

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

// CreateFileW on the exact path of `name`, kept only when it is a disk file: a console,
// printer, serial port or pipe would wait for input that never comes, or swallow the output.
HANDLE open_exact(const char* name, DWORD access, DWORD disposition) {
  static wchar_t path[kPathUnits];  // one run opens two files, one after the other
  if (!exact_path(name, path)) return INVALID_HANDLE_VALUE;
  HANDLE h = CreateFileW(path, access, FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  if (h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    return INVALID_HANDLE_VALUE;
  }
  return h;
}

}  // namespace

OsFile::~OsFile() {
  if (is_open()) CloseHandle(handle_of(handle_));
}

bool OsFile::open_read(const char* name) {
  // Others may read the file meanwhile but not write it; a folder does not open this way.
  HANDLE h = open_exact(name, GENERIC_READ, OPEN_EXISTING);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<std::intptr_t>(h);
  return true;
}

bool OsFile::create_write(const char* name, const OsFile& /*input*/) {
  // The input is open without FILE_SHARE_WRITE, so a name that leads to it (a link) fails
  // here with a sharing violation before anything is truncated; so does an output that
  // another run is writing, which shares it for reading only.
  HANDLE h = open_exact(name, GENERIC_WRITE, CREATE_ALWAYS);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<std::intptr_t>(h);
  return true;
}

long OsFile::read(unsigned char* dst, std::size_t size) {
  DWORD got = 0;
  if (!ReadFile(handle_of(handle_), dst, chunk(size), &got, nullptr)) {
    // The writer of a pipe has closed it: that is the end of the input, not a failure.
    return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
  }
  return static_cast<long>(got);
}

long OsFile::write(const unsigned char* src, std::size_t size) {
  DWORD put = 0;
  if (!WriteFile(handle_of(handle_), src, chunk(size), &put, nullptr)) return -1;
  return static_cast<long>(put);
}

bool OsFile::close() {
  if (!is_open()) return true;
  HANDLE h = handle_of(handle_);
  handle_ = kInvalid;
  return CloseHandle(h) != 0;
}

}  // namespace veltrim
