// The user's PATH as a list of folders, edited as text: one folder added at the end, or every
// entry naming it taken out, with everything else kept exactly (order, letter case, %VAR%
// entries, empty entries, a trailing ';'). No system call: the setup's helper reads and writes
// the registry value, this decides what it becomes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace veltrim::setup {

// The longest environment value Windows takes, in UTF-16 units.
constexpr std::size_t kPathMaxUnits = 32767;

// One UTF-16 unit to the form in which letter case no longer counts (the helper gives it the
// system's upper-casing, which is what file names compare by).
using FoldUnit = char16_t (*)(char16_t);

// ASCII letters to lower case (text/ascii.h), every other unit as it is.
char16_t fold_ascii(char16_t unit);

// Whether a PATH entry names the folder: equal once letter case and one trailing backslash on
// either side no longer count.
bool names_folder(std::u16string_view entry, std::u16string_view folder, FoldUnit fold);

// Whether a folder can be a PATH entry that names exactly it.
enum class FolderFit {
  fits,
  separator,  // a ';' would split it into two entries
  variable,   // two '%' may enclose a variable's name, which an expanding PATH replaces
};

FolderFit folder_fit(std::u16string_view folder);

enum class PathEdit {
  changed,    // `value` is the new PATH
  unchanged,  // nothing to do: the folder is there already (add), or nowhere (remove)
  too_long,   // the new PATH would pass kPathMaxUnits: leave it as it is
  unfit,      // the folder cannot be an entry (folder_fit says why): leave PATH as it is
};

struct PathResult {
  PathEdit edit = PathEdit::unchanged;
  std::u16string value;
};

// PATH with the folder appended once, unless an entry already names it or it does not fit. After a
// trailing ';' the folder gets one too, so that taking it out again gives the value back exactly.
PathResult add_folder(std::u16string_view path, std::u16string_view folder, FoldUnit fold);

// PATH without the entries that name the folder, each taken out with the ';' that joined it
// to the one before (the first, with the one after): the reverse of add_folder.
PathResult remove_folder(std::u16string_view path, std::u16string_view folder, FoldUnit fold);

}  // namespace veltrim::setup
