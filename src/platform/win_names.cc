#include "platform/win_names.h"

#include <cstdint>
#include <cstring>

namespace veltrim {

std::size_t put_wtf8(std::uint32_t c, unsigned char* dst) {
  const std::size_t len = wtf8_length(c);
  static constexpr unsigned char kLead[] = {0, 0, 0xC0, 0xE0, 0xF0};
  for (std::size_t k = len - 1; k > 0; --k) {
    dst[k] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    c >>= 6;
  }
  dst[0] = static_cast<unsigned char>(len == 1 ? c : kLead[len] | c);
  return len;
}

bool wide_to_bytes(const WideUnit* src, char* dst, std::size_t cap) {
  std::size_t n = 0;
  for (std::size_t i = 0; src[i] != 0; ++i) {
    std::uint32_t c = static_cast<std::uint16_t>(src[i]);
    if (is_high_surrogate(c) && is_low_surrogate(static_cast<std::uint16_t>(src[i + 1]))) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<std::uint16_t>(src[++i]) - 0xDC00);
    }
    if (cap - n <= wtf8_length(c)) return false;  // keeps room for the NUL
    n += put_wtf8(c, reinterpret_cast<unsigned char*>(dst + n));
  }
  if (cap == 0) return false;
  dst[n] = '\0';
  return true;
}

bool bytes_to_wide(const char* src, WideUnit* dst, std::size_t cap) {
  std::size_t n = 0;
  bool after_lone_high = false;  // the unit before came from a lone high surrogate's sequence
  for (std::size_t i = 0; src[i] != '\0'; ++i) {
    const auto b = static_cast<unsigned char>(src[i]);
    std::uint32_t c = b;
    std::size_t extra = 0;
    std::uint32_t least = 0;  // the smallest code point that needs this many bytes
    if (b >= 0xF0 && b <= 0xF4) {
      c = b & 0x07, extra = 3, least = 0x10000;
    } else if ((b & 0xF0) == 0xE0) {
      c = b & 0x0F, extra = 2, least = 0x800;
    } else if ((b & 0xE0) == 0xC0) {
      c = b & 0x1F, extra = 1, least = 0x80;
    } else if (b >= 0x80) {
      return false;
    }
    for (std::size_t k = 1; k <= extra; ++k) {
      // The terminating NUL fails this test too, so a cut sequence never reads past it.
      const auto next = static_cast<unsigned char>(src[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      c = (c << 6) | (next & 0x3F);
    }
    if (c < least || c > 0x10FFFF) return false;
    // A pair is written as one four-byte sequence: as two, the same name would have two forms.
    if (after_lone_high && is_low_surrogate(c)) return false;
    after_lone_high = is_high_surrogate(c);
    i += extra;
    const std::size_t units = c >= 0x10000 ? 2 : 1;
    if (cap - n <= units) return false;
    if (units == 2) {
      dst[n++] = static_cast<WideUnit>(0xD800 + ((c - 0x10000) >> 10));
      dst[n++] = static_cast<WideUnit>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      dst[n++] = static_cast<WideUnit>(c);
    }
  }
  if (cap == 0) return false;
  dst[n] = 0;
  return true;
}

namespace {

// True when `s` starts with `prefix`, an ASCII string.
bool starts_with(const WideUnit* s, const char* prefix) {
  for (; *prefix != '\0'; ++s, ++prefix) {
    if (*s != static_cast<WideUnit>(*prefix)) return false;
  }
  return true;
}

}  // namespace

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

namespace {

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
  for (std::size_t i = 0; i < len; ++i) {
    const char c = last[i];
    base[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
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
