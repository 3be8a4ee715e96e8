// The rules of names that hold on every system.
#include "platform/file_names.h"

#include <algorithm>
#include <cstring>

#include "text/ascii.h"
#include "text/codec.h"

namespace veltrim {

namespace {

// True when `s` starts with `prefix`, an ASCII string.
bool starts_with(const WideUnit* s, const char* prefix) {
  for (; *prefix != '\0'; ++s, ++prefix) {
    if (*s != static_cast<WideUnit>(*prefix)) return false;
  }
  return true;
}

// Where the last component of a name starts.
const char* last_component(const char* name) {
  const char* last = name;
  for (const char* p = name; *p != '\0'; ++p) {
    if (*p == '/' || *p == '\\') last = p + 1;
  }
  if (last == name && last[0] != '\0' && last[1] == ':') last += 2;  // "C:nul.css"
  return last;
}

}  // namespace

std::size_t name_length(const char* name, std::size_t bytes) {
#ifdef _WIN32
  return utf16_length(name, bytes);
#else
  (void)name;
  return bytes;
#endif
}

bool ends_in_css(const char* name, std::size_t len) {
  if (len < 4) return false;
  const char* const ext = name + len - 4;
  return ext[0] == '.' && ascii_lower(ext[1]) == 'c' && ascii_lower(ext[2]) == 's' &&
         ascii_lower(ext[3]) == 's';
}

bool holds_css(const char* name, std::size_t len) {
  for (std::size_t end = 4; end <= len; ++end) {
    if (ends_in_css(name, end)) return true;
  }
  return false;
}

bool long_file_name(NameSystem& names, const char* name, char* dst, std::size_t cap) {
  std::string given;
  std::string held;
  if (names.look_up(name, given, held) != NameSystem::FOUND ||
      names.compare(given, held, true) == 0) {
    return false;
  }
  return with_last_component(name, held.c_str(), dst, cap);
}

bool names_its_own_file(NameSystem& names, const char* name) {
  std::string given;
  std::string held;
  switch (names.look_up(name, given, held)) {
    case NameSystem::FOUND:
      return names.compare(given, held, true) == 0;
    case NameSystem::MISSING:
      return true;
    default:
      return false;
  }
}

bool match_stylesheets(NameSystem& names, const char* arg, std::vector<std::string>& matches) {
  matches.clear();
  if (!has_wildcard(arg)) return false;
  // The folder matches short names too: "*.css" finds "a.cssx" by its "A~1.CSS". Only the
  // long name counts.
  std::vector<FolderEntry> entries;
  names.list(arg, entries);
  for (const FolderEntry& e : entries) {
    if (!e.folder && ends_in_css(e.name.c_str(), e.name.size())) matches.push_back(e.name);
  }
  std::sort(matches.begin(), matches.end(), [&names](const std::string& a, const std::string& b) {
    const int c = names.compare(a, b, true);
    return c != 0 ? c < 0 : names.compare(a, b, false) < 0;
  });
  const std::string folders(arg, last_component(arg));
  for (std::string& m : matches) m.insert(0, folders);
  return true;
}

bool is_verbatim_path(const WideUnit* name) {
  return starts_with(name, "\\\\?\\");
}

bool verbatim_path(const WideUnit* full, WideUnit* dst, std::size_t cap) {
  if (starts_with(full, "\\\\.\\")) return false;  // the device namespace
  // A share keeps one of its two leading backslashes, after the UNC part of the prefix.
  const bool share = starts_with(full, "\\\\");
  const char* const prefix = share ? "\\\\?\\UNC" : "\\\\?\\";
  const WideUnit* const rest = share ? full + 1 : full;
  std::size_t n = 0;
  for (const char* p = prefix; *p != '\0'; ++p) {
    if (n + 1 >= cap) return false;
    dst[n++] = static_cast<WideUnit>(*p);
  }
  for (const WideUnit* p = rest; *p != 0; ++p) {
    if (n + 1 >= cap) return false;
    dst[n++] = *p;
  }
  dst[n] = 0;
  return true;
}

bool with_last_component(const char* name, const char* last, char* dst, std::size_t cap) {
  const std::size_t folders = static_cast<std::size_t>(last_component(name) - name);
  const std::size_t len = std::strlen(last);
  if (folders + len >= cap) return false;
  std::memmove(dst, name, folders);
  std::memcpy(dst + folders, last, len + 1);
  return true;
}

bool has_wildcard(const char* name) {
  return std::strpbrk(last_component(name), "*?") != nullptr;
}

bool is_device_name(const char* name) {
  const char* const last = last_component(name);
  // The device is named by what stands before the first '.' (or a stream's ':').
  std::size_t len = 0;
  while (last[len] != '\0' && last[len] != '.' && last[len] != ':') ++len;
  while (len > 0 && last[len - 1] == ' ') --len;
  char base[8];
  if (len < 3 || len > 7) return false;
  for (std::size_t i = 0; i < len; ++i) base[i] = ascii_lower(last[i]);
  base[len] = '\0';
  static constexpr const char* kWords[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
  for (const char* word : kWords) {
    if (std::strcmp(base, word) == 0) return true;
  }
  if (std::memcmp(base, "com", 3) != 0 && std::memcmp(base, "lpt", 3) != 0) return false;
  const char* number = base + 3;
  if (len == 4) return number[0] >= '0' && number[0] <= '9';
  // Superscript one, two and three, in UTF-8.
  return len == 5 && number[0] == '\xC2' &&
         (number[1] == '\xB9' || number[1] == '\xB2' || number[1] == '\xB3');
}

}  // namespace veltrim
