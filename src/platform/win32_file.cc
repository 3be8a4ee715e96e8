// The operating system's file on Windows, through KERNEL32 alone.
#include <windows.h>

#include "platform/file_io.h"

namespace veltrim {

namespace {

HANDLE handle_of(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// Bounds one ReadFile or WriteFile; the buffers are far smaller anyway.
DWORD chunk(std::size_t size) { return size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size); }

}  // namespace

OsFile::~OsFile() {
  if (is_open()) CloseHandle(handle_of(handle_));
}

bool OsFile::open_read(const char* name) {
  // Others may read the file meanwhile but not write it; a folder does not open this way.
  HANDLE h = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<std::intptr_t>(h);
  return true;
}

bool OsFile::create_write(const char* name, const OsFile& /*input*/) {
  // The input is open without FILE_SHARE_WRITE, so a name that leads to it (a link) fails
  // here with a sharing violation before anything is truncated.
  HANDLE h = CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
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

bool OsFile::seek_back_one() {
  // Without a high part, INVALID_SET_FILE_POINTER is also a valid low position: only the
  // last error tells them apart.
  SetLastError(NO_ERROR);
  DWORD pos = SetFilePointer(handle_of(handle_), -1, nullptr, FILE_CURRENT);
  return pos != INVALID_SET_FILE_POINTER || GetLastError() == NO_ERROR;
}

bool OsFile::close() {
  if (!is_open()) return true;
  HANDLE h = handle_of(handle_);
  handle_ = kInvalid;
  return CloseHandle(h) != 0;
}

}  // namespace veltrim
