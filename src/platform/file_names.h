// File names as the system takes them: their length, the ".css" rule, the long name behind a
// short one, and the stylesheets a wildcard matches. Names are bytes; on Windows, WTF-8
// (text/codec.h), which the system's UTF-16 names turn into without loss.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "text/codec.h"

namespace veltrim {

// The longest name taken, in the units of the system's names: bytes on POSIX, UTF-16 code
// units on Windows, where a unit may take three bytes of a name (a surrogate pair: four bytes
// for two units).
constexpr std::size_t kNameMax = 511;
#ifdef _WIN32
constexpr std::size_t kNameSize = 3 * kNameMax + 1;
#else
constexpr std::size_t kNameSize = kNameMax + 1;
#endif

// The length of the `bytes` bytes of a name in the system's units.
std::size_t name_length(const char* name, std::size_t bytes);

// True when the first `len` bytes of a name end in ".css", in any ASCII letter case: the one
// rule of what is a stylesheet, for a name given and for the names a wildcard matches.
// (Windows' own case rules would also take a long s for an 's'.)
bool ends_in_css(const char* name, std::size_t len);

// The name of the file `name` opens, its last component as the file system holds it: on Windows
// a short (8.3) name there becomes the long one, so that the output is named after the input's
// own name and not after a short name that another file's short name may match. False, and
// `dst` untouched, where that changes nothing: on POSIX, for a missing file, for a name that
// is long already, and for a long name that does not fit in `cap` bytes.
bool long_file_name(const char* name, char* dst, std::size_t cap);

// Windows' shell leaves a wildcard to the program. When the last component of `arg` holds '*'
// or '?' (has_wildcard), stores in `names` every file that pattern matches in its folder whose
// own (long) name ends in ".css" in any letter case, folders left out, in name order, each as
// the folders of `arg` as typed and its name; true then, also when none match. False for any
// other name, and always on POSIX, where the shell expands patterns and '*' and '?' are
// characters of a name.
bool match_stylesheets(const char* arg, std::vector<std::string>& names);

// Windows paths, worked out on every system so that their tests run everywhere.

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
