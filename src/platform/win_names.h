// Windows file names as the rest of the tool sees them: byte strings, converted without loss
// to and from the UTF-16 names the system holds, and the names Windows keeps for devices.
// Plain code, built on every platform, so that its tests run everywhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace veltrim {

// A UTF-16 code unit: wchar_t where it is one (Windows), char16_t elsewhere.
using WideUnit = std::conditional_t<sizeof(wchar_t) == 2, wchar_t, char16_t>;

inline bool is_high_surrogate(std::uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
inline bool is_low_surrogate(std::uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Bytes of a code point (up to U+10FFFF, a lone surrogate included) in WTF-8: 1 to 4.
constexpr std::size_t wtf8_length(std::uint32_t c) {
  return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}
// Writes that code point's wtf8_length(c) bytes at dst; returns their count.
std::size_t put_wtf8(std::uint32_t c, unsigned char* dst);

// UTF-16 to bytes in WTF-8: UTF-8, with an unpaired surrogate written as its own three-byte
// sequence, so that every name the file system can hold has exactly one byte form. Writes a
// NUL-terminated string; false when it does not fit in `cap` bytes with its NUL.
bool wide_to_bytes(const WideUnit* src, char* dst, std::size_t cap);

// The way back: false for bytes that wide_to_bytes never writes (a malformed or overlong
// sequence, a code point past U+10FFFF, a surrogate pair written as two sequences), and when
// the result does not fit in `cap` units with its NUL. Every name that passes opens the one
// file whose name it spells.
bool bytes_to_wide(const char* src, WideUnit* dst, std::size_t cap);

// True when `name` is already in the \\?\ form, in which Windows takes every character as
// it stands: such a name is used as typed.
bool is_verbatim_path(const WideUnit* name);

// The \\?\ form of `full`, an absolute path as GetFullPathNameW gives it (folders, "." and
// ".." resolved): a drive path C:\x becomes \\?\C:\x and a share \\server\share\x becomes
// \\?\UNC\server\share\x. That form passes the 260-character limit of plain paths on every
// Windows version. False for a path in the device namespace (\\.\), and when the result does
// not fit in `cap` units with its NUL.
bool verbatim_path(const WideUnit* full, WideUnit* dst, std::size_t cap);

// `name` with its last component (what follows the last '/' or '\\', or a drive's "C:")
// replaced by `last`, the folders as typed; false when that does not fit in `cap` bytes with
// its NUL.
bool with_last_component(const char* name, const char* last, char* dst, std::size_t cap);

// True when the last component of `name` holds '*' or '?', which no Windows file name can:
// a pattern, which cmd leaves to the program.
bool has_wildcard(const char* name);

// True when the last component of `name` is one that Windows takes for a device, whatever
// the folder and the extension: CON, PRN, AUX, NUL, COM0-COM9, LPT0-LPT9 (and with a
// superscript 1, 2 or 3), CONIN$ and CONOUT$, in any letter case, trailing spaces ignored.
bool is_device_name(const char* name);

}  // namespace veltrim
