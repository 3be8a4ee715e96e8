#include "setup/path_list.h"

#include <algorithm>

#include "text/ascii.h"

namespace veltrim::setup {
namespace {

std::u16string_view without_trailing_backslash(std::u16string_view s) {
  if (!s.empty() && s.back() == u'\\') s.remove_suffix(1);
  return s;
}

}  // namespace

char16_t fold_ascii(char16_t unit) {
  return ascii_lower(unit);
}

bool names_folder(std::u16string_view entry, std::u16string_view folder, FoldUnit fold) {
  entry = without_trailing_backslash(entry);
  folder = without_trailing_backslash(folder);
  // An empty entry is no folder, even for an empty name.
  if (entry.empty() || entry.size() != folder.size()) return false;
  for (std::size_t i = 0; i < entry.size(); ++i) {
    if (fold(entry[i]) != fold(folder[i])) return false;
  }
  return true;
}

FolderFit folder_fit(std::u16string_view folder) {
  if (folder.find(u';') != std::u16string_view::npos) return FolderFit::separator;
  // Whether the text between two '%' names a variable depends on the environment of each
  // process that reads PATH, at the time it reads it: any pair may expand.
  const std::size_t percent = folder.find(u'%');
  if (percent != std::u16string_view::npos &&
      folder.find(u'%', percent + 1) != std::u16string_view::npos) {
    return FolderFit::variable;
  }
  return FolderFit::fits;
}

PathResult add_folder(std::u16string_view path, std::u16string_view folder, FoldUnit fold) {
  if (folder_fit(folder) != FolderFit::fits) return {PathEdit::unfit, {}};
  for (std::size_t at = 0;;) {
    const std::size_t end = std::min(path.find(u';', at), path.size());
    if (names_folder(path.substr(at, end - at), folder, fold)) return {};
    if (end == path.size()) break;
    at = end + 1;
  }
  PathResult r;
  r.value = path;
  if (path.empty()) {
    r.value = folder;
  } else if (path.back() == u';') {
    r.value.append(folder).append(u";");
  } else {
    r.value.append(u";").append(folder);
  }
  r.edit = r.value.size() > kPathMaxUnits ? PathEdit::too_long : PathEdit::changed;
  if (r.edit == PathEdit::too_long) r.value.clear();
  return r;
}

PathResult remove_folder(std::u16string_view path, std::u16string_view folder, FoldUnit fold) {
  PathResult r;
  bool first = true;  // whether r.value holds no entry yet
  bool removed = false;
  for (std::size_t at = 0;;) {
    const std::size_t end = std::min(path.find(u';', at), path.size());
    const std::u16string_view entry = path.substr(at, end - at);
    if (names_folder(entry, folder, fold)) {
      removed = true;
    } else {
      if (!first) r.value += u';';
      r.value.append(entry);
      first = false;
    }
    if (end == path.size()) break;
    at = end + 1;
  }
  if (!removed) return {};
  r.edit = PathEdit::changed;
  return r;
}

}  // namespace veltrim::setup
