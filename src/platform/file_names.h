// File names as the system takes them: their length, the ".css" rule, the long name behind a
// short one, and the stylesheets a wildcard matches. Names are bytes; on Windows, WTF-8
// (text/codec.h), which the system's UTF-16 names turn into without loss.
#pragma once

#include <cstddef>
#include <memory>
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

// True when ".css", in any ASCII letter case, stands anywhere in the first `len` bytes.
bool holds_css(const char* name, std::size_t len);

// One entry of a folder, by the name the file system holds for it.
struct FolderEntry {
  std::string name;
  bool folder = false;
};

// What the rules of names ask of the file system: the seam between the rules, which run and
// are tested on every system, and the Win32 calls behind them (win32_file.cc), or a test's
// fake. Names are WTF-8 bytes both ways.
class NameSystem {
 public:
  enum Lookup { FOUND, MISSING, UNKNOWN };
  virtual ~NameSystem() = default;
  // The file or folder that `name` leads to: FOUND, with the last component of `name` as the
  // system resolves it in `given` and the name the file system holds for it in `held` (its
  // long name, whichever of its names `name` gives); MISSING when there is none; UNKNOWN
  // when that cannot be looked up, for a name that spells no file name (a device, a
  // pattern) too.
  virtual Lookup look_up(const char* name, std::string& given, std::string& held) = 0;
  // The entries of the folder that the last component of `pattern` ('*', '?') matches, by
  // their long names or their short ones; false when the folder cannot be listed.
  virtual bool list(const char* pattern, std::vector<FolderEntry>& entries) = 0;
  // Orders two names as the system does: negative, 0 or positive, letter case aside when
  // `ignore_case`.
  virtual int compare(const std::string& a, const std::string& b, bool ignore_case) = 0;
};

// The system's own, for a run: on Windows, where names have short forms and the program
// expands wildcards; none elsewhere, where a name is the file's own and the shell expands
// patterns.
std::unique_ptr<NameSystem> system_names();

// The name of the file `name` opens, its last component as the file system holds it: a short
// (8.3) name there becomes the long one, so that the output is named after the input's own
// name and not after a short name that another file's short name may match. False, and `dst`
// untouched, where that changes nothing: for a missing file, for a name that is long already,
// and for a long name that does not fit in `cap` bytes.
bool long_file_name(NameSystem& names, const char* name, char* dst, std::size_t cap);

// True when `name` may be created or replaced as itself: it leads to no file, or to a file
// that the file system holds under that name, letter case aside. False when it reaches a
// file held under another name ("LONGST~1.OLF" may be someone's "long style theme.olf") or
// that cannot be ruled out.
bool names_its_own_file(NameSystem& names, const char* name);

// When the last component of `arg` holds '*' or '?' (has_wildcard), stores in `matches`
// every file that pattern matches in its folder whose own (long) name ends in ".css" in any
// letter case, folders left out, in name order (letter case aside, then by case), each as
// the folders of `arg` as typed and its name; true then, also when none match. False for
// any other name.
bool match_stylesheets(NameSystem& names, const char* arg, std::vector<std::string>& matches);

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
