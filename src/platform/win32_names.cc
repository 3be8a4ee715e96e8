// Names as the wide calls of Windows take them (win32_names.h).
#include "platform/win32_names.h"

#include <cstring>
#include <cwchar>

#include "platform/file_names.h"
#include "text/codec.h"

namespace veltrim {

std::wstring wide_of(const char* name) {
  std::wstring w(std::strlen(name) + 1, L'\0');
  if (!bytes_to_wide(name, w.data(), w.size())) return {};
  w.resize(std::wcslen(w.c_str()));
  return w;
}

std::string bytes_of(const wchar_t* name) {
  std::string b(3 * std::wcslen(name) + 1, '\0');
  if (!wide_to_bytes(name, b.data(), b.size())) return {};
  b.resize(std::strlen(b.c_str()));
  return b;
}

std::string bytes_of(const wchar_t* name, std::size_t units) {
  const std::wstring w(name, units);  // the NUL the conversion stops at
  return bytes_of(w.c_str());
}

std::wstring exact_path(const char* name) {
  if (is_device_name(name)) return {};
  const std::wstring typed = wide_of(name);
  if (typed.empty() || is_verbatim_path(typed.c_str())) return typed;  // that form as typed
  std::wstring full(kPathUnits, L'\0');
  const DWORD got = GetFullPathNameW(typed.c_str(), kPathUnits, full.data(), nullptr);
  if (got == 0 || got >= kPathUnits) return {};
  std::wstring path(kPathUnits, L'\0');
  if (!verbatim_path(full.c_str(), path.data(), kPathUnits)) return {};
  path.resize(std::wcslen(path.c_str()));
  return path;
}

}  // namespace veltrim
