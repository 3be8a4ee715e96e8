// The setup's PATH edit: what the user's PATH becomes after install and after uninstall. The
// same cases run against the registry, through the setup, in setup_test.cc.
#include "setup/path_list.h"

#include <gtest/gtest.h>

#include <string>

namespace veltrim::setup {
namespace {

std::string narrow(const std::u16string& s) {  // for failure messages
  return std::string(s.begin(), s.end());
}

TEST(PathList, InstallThenUninstall) {
  const std::u16string f = u"C:\\Users\\Jiri\\Programs\\Veltrim";
  const struct {
    std::u16string before, installed, uninstalled;  // installed "": left as it was
  } rows[] = {
      {u"", f, u""},
      {u"C:\\A", u"C:\\A;" + f, u"C:\\A"},
      {u"C:\\A;", u"C:\\A;" + f + u";", u"C:\\A;"},
      {u";", u";" + f + u";", u";"},
      {u";C:\\A;;D:\\B", u";C:\\A;;D:\\B;" + f, u";C:\\A;;D:\\B"},
      {u"%USERPROFILE%\\bin;%X%", u"%USERPROFILE%\\bin;%X%;" + f, u"%USERPROFILE%\\bin;%X%"},
      {f + u"2; " + f, f + u"2; " + f + u";" + f, f + u"2; " + f},  // other folders
      {f, u"", u""},
      {u"C:\\A;c:\\users\\JIRI\\programs\\veltrim;D:\\B", u"", u"C:\\A;D:\\B"},
      {f + u"\\;C:\\A", u"", u"C:\\A"},
      {f + u";;C:\\A", u"", u";C:\\A"},
      {u"C:\\A;" + f + u";" + f + u"\\;D:\\B;", u"", u"C:\\A;D:\\B;"},
  };
  for (const auto& row : rows) {
    const PathResult added = add_folder(row.before, f, fold_ascii);
    const bool adds = !row.installed.empty();
    EXPECT_EQ(added.edit, adds ? PathEdit::changed : PathEdit::unchanged) << narrow(row.before);
    if (adds) {
      EXPECT_EQ(added.value, row.installed) << narrow(row.before);
    }
    const PathResult removed = remove_folder(adds ? added.value : row.before, f, fold_ascii);
    EXPECT_EQ(removed.edit, PathEdit::changed) << narrow(row.before);
    EXPECT_EQ(removed.value, row.uninstalled) << narrow(row.before);
    EXPECT_EQ(remove_folder(row.uninstalled, f, fold_ascii).edit, PathEdit::unchanged);
  }
}

// Letter case at the edges of the letters, where an off-by-one fold would merge neighbours,
// and a drive root, whose trailing backslash is all it has after the colon.
TEST(PathList, FoldAtTheLettersEdgesAndDriveRoot) {
  const struct {
    std::u16string before, folder, installed;  // installed "": named already
  } rows[] = {
      {u"C:\\a;C:\\z", u"C:\\A", u""},      {u"C:\\A;C:\\Z", u"C:\\z", u""},
      {u"C:\\@", u"C:\\`", u"C:\\@;C:\\`"},  {u"C:\\[", u"C:\\{", u"C:\\[;C:\\{"},
      {u"C:\\A", u"C:\\a\\", u""},           {u"C:\\A", u"C:\\B", u"C:\\A;C:\\B"},
      {u"C:\\A", u"D:\\", u"C:\\A;D:\\"},    {u"C:\\A;D:\\", u"D:\\", u""},
      {u"d:\\;C:\\A", u"D:\\", u""},
  };
  for (const auto& row : rows) {
    const PathResult added = add_folder(row.before, row.folder, fold_ascii);
    EXPECT_EQ(added.edit, row.installed.empty() ? PathEdit::unchanged : PathEdit::changed)
        << narrow(row.before) << " + " << narrow(row.folder);
    EXPECT_EQ(added.value, row.installed) << narrow(row.before) << " + " << narrow(row.folder);
    if (!row.installed.empty()) {  // and added once: the second install finds it
      EXPECT_EQ(add_folder(added.value, row.folder, fold_ascii).edit, PathEdit::unchanged);
    }
  }
}

// A folder goes onto PATH only as an entry that names exactly it, in a REG_EXPAND_SZ PATH too.
TEST(PathList, FolderThatNoEntryCanNameIsRefused) {
  const struct {
    std::u16string folder;
    FolderFit fit;
  } rows[] = {
      {u"C:\\Kit%USERNAME%Tools", FolderFit::variable},
      {u"C:\\%X%", FolderFit::variable},
      {u"C:\\a%%b", FolderFit::variable},
      {u"C:\\50% off\\100% on", FolderFit::variable},
      {u"C:\\100% Tools", FolderFit::fits},
      {u"C:\\Tools%", FolderFit::fits},
      {u"C:\\A;B", FolderFit::separator},
      {u"C:\\%A;B%", FolderFit::separator},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(folder_fit(row.folder), row.fit) << narrow(row.folder);
    const PathResult added = add_folder(u"C:\\A", row.folder, fold_ascii);
    if (row.fit == FolderFit::fits) {
      EXPECT_EQ(added.value, u"C:\\A;" + row.folder) << narrow(row.folder);
    } else {
      EXPECT_EQ(added.edit, PathEdit::unfit) << narrow(row.folder);
      EXPECT_EQ(added.value, u"") << narrow(row.folder);
    }
  }
}

TEST(PathList, ResultPastTheLimitIsRefused) {
  const std::u16string f = u"C:\\V";  // with its ';', 5 units
  std::u16string path(kPathMaxUnits - 5, u'x');
  EXPECT_EQ(add_folder(path, f, fold_ascii).value.size(), kPathMaxUnits);
  path += u'x';
  EXPECT_EQ(add_folder(path, f, fold_ascii).edit, PathEdit::too_long);
  // Past the limit already but holding the folder: nothing to write, nothing refused.
  path.append(u";C:\\V");
  EXPECT_EQ(add_folder(path, f, fold_ascii).edit, PathEdit::unchanged);
}

}  // namespace
}  // namespace veltrim::setup
