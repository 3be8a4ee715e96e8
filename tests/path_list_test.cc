// The setup's PATH edit: what the user's PATH becomes after install and after uninstall.
#include "setup/path_list.h"

#include <gtest/gtest.h>

#include <string>

namespace veltrim::setup {
namespace {

// A fold that knows the Czech letters of the folders below, as the system's does.
char16_t fold_czech(char16_t unit) {
  switch (unit) {
    case u'ř':
      return u'Ř';
    case u'í':
      return u'Í';
    case u'á':
      return u'Á';
    default:
      return fold_ascii(unit);
  }
}

std::string narrow(const std::u16string& s) {  // for failure messages: ASCII, others as '?'
  std::string out;
  for (char16_t c : s) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

constexpr char16_t kFolder[] = u"C:\\Users\\Jiří\\Programs\\Veltrim";

struct PathRow {
  std::u16string before;
  std::u16string installed;    // after add_folder
  std::u16string uninstalled;  // after remove_folder of that
};

TEST(PathList, AddThenRemoveGivesTheValueBack) {
  const std::u16string f = kFolder;
  const PathRow rows[] = {
      {u"", f, u""},
      {u"C:\\A", u"C:\\A;" + f, u"C:\\A"},
      {u"C:\\A;", u"C:\\A;" + f + u";", u"C:\\A;"},
      {u";", u";" + f + u";", u";"},
      {u"C:\\A;;D:\\B", u"C:\\A;;D:\\B;" + f, u"C:\\A;;D:\\B"},
      {u";;", u";;" + f + u";", u";;"},
      {u"%USERPROFILE%\\bin;%X%", u"%USERPROFILE%\\bin;%X%;" + f, u"%USERPROFILE%\\bin;%X%"},
      {u"c:\\users\\jiří\\programs", u"c:\\users\\jiří\\programs;" + f,
       u"c:\\users\\jiří\\programs"},
      {f + u"2", f + u"2;" + f, f + u"2"},        // a longer name is another folder
      {u" " + f, u" " + f + u";" + f, u" " + f},  // so is one with a blank
  };
  for (const PathRow& row : rows) {
    const PathResult added = add_folder(row.before, f, fold_czech);
    EXPECT_EQ(added.edit, PathEdit::changed) << narrow(row.before);
    EXPECT_EQ(added.value, row.installed) << narrow(row.before);
    const PathResult removed = remove_folder(added.value, f, fold_czech);
    EXPECT_EQ(removed.edit, PathEdit::changed) << narrow(row.before);
    EXPECT_EQ(removed.value, row.uninstalled) << narrow(row.before);
  }
}

TEST(PathList, FolderAlreadyThereIsNotAddedAndAllOfItGoes) {
  const std::u16string f = kFolder;
  const struct {
    std::u16string before, uninstalled;
  } rows[] = {
      {f, u""},
      {u"C:\\A;" + f + u";D:\\B", u"C:\\A;D:\\B"},
      {u"C:\\USERS\\JIŘÍ\\PROGRAMS\\VELTRIM", u""},
      {u"c:\\users\\jiří\\programs\\veltrim\\;C:\\A", u"C:\\A"},
      {u"C:\\A;" + f + u"\\", u"C:\\A"},
      {f + u";" + f + u";", u""},
      {f + u";;C:\\A", u";C:\\A"},
      {u"C:\\A;" + f + u";" + f + u";D:\\B;", u"C:\\A;D:\\B;"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(add_folder(row.before, f, fold_czech).edit, PathEdit::unchanged)
        << narrow(row.before);
    const PathResult removed = remove_folder(row.before, f, fold_czech);
    EXPECT_EQ(removed.edit, PathEdit::changed) << narrow(row.before);
    EXPECT_EQ(removed.value, row.uninstalled) << narrow(row.before);
  }
}

TEST(PathList, RemoveLeavesAPathWithoutTheFolderAlone) {
  for (const std::u16string path :
       {u"", u";", u"C:\\A;D:\\B;", u"C:\\Users\\Jiri\\Programs\\Veltrim"}) {
    EXPECT_EQ(remove_folder(path, kFolder, fold_czech).edit, PathEdit::unchanged) << narrow(path);
  }
}

TEST(PathList, ResultPastTheLimitIsRefused) {
  const std::u16string f = u"C:\\V";  // 4 units, and one for the ';'
  const std::u16string fits(kPathMaxUnits - 5, u'x');
  const PathResult at_limit = add_folder(fits, f, fold_ascii);
  EXPECT_EQ(at_limit.edit, PathEdit::changed);
  EXPECT_EQ(at_limit.value.size(), kPathMaxUnits);
  EXPECT_EQ(add_folder(fits + u"x", f, fold_ascii).edit, PathEdit::too_long);
  EXPECT_EQ(add_folder(std::u16string(kPathMaxUnits, u'x'), f, fold_ascii).edit,
            PathEdit::too_long);
  // Over the limit already but holding the folder: nothing to write, nothing refused.
  EXPECT_EQ(add_folder(std::u16string(kPathMaxUnits, u'x') + u";" + f, f, fold_ascii).edit,
            PathEdit::unchanged);
}

TEST(PathList, NamesFolderIgnoresOnlyCaseAndOneTrailingBackslash) {
  const struct {
    std::u16string_view entry;
    bool same;
  } rows[] = {
      {u"C:\\V", true},  {u"c:\\v", true},   {u"C:\\V\\", true},    {u"C:\\V\\\\", false},
      {u"C:/V", false},  {u"C:\\V ", false}, {u"\"C:\\V\"", false}, {u"", false},
      {u"C:\\W", false}, {u"C:\\", false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(names_folder(row.entry, u"C:\\V", fold_ascii), row.same)
        << narrow(std::u16string(row.entry));
    EXPECT_EQ(names_folder(row.entry, u"C:\\V\\", fold_ascii), row.same)
        << narrow(std::u16string(row.entry));
  }
}

}  // namespace
}  // namespace veltrim::setup
