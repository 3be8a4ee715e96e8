// Names and handles as the wide calls of Windows take them, shared by the run's files
// (win32_file.cc) and the watch mode's (win32_watch.cc), so that both open exactly the same
// path for one name and tell its identity alike. Windows only.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "platform/file_system.h"

namespace veltrim {

// The longest path the wide calls take, with its NUL.
constexpr DWORD kPathUnits = 32768;

// A name as Windows holds it, and back; empty for bytes that spell no UTF-16 name.
std::wstring wide_of(const char* name);
std::string bytes_of(const wchar_t* name);
// The same for a name of `units` code units that need not end in a NUL (a change record's).
std::string bytes_of(const wchar_t* name, std::size_t units);

// The path that opens exactly the file `name` spells: the \\?\ form of its absolute path
// (file_names.h), which needs no registry setting for long paths, unlike long-path awareness
// in a manifest. Folders, "." and ".." are resolved first, as for a plain path. Empty for a
// device name and for bytes that spell no UTF-16 name.
std::wstring exact_path(const char* name);

// What the system tells of an open handle: whether it is a disk file, and its identity;
// nothing known for INVALID_HANDLE_VALUE (win32_file.cc).
FileFacts facts_of(HANDLE h);

}  // namespace veltrim
