// File names: the .css rule, Windows paths, wildcards and the names Windows keeps for devices.
#include "platform/file_names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fake_files.h"
#include "wide_text.h"

namespace veltrim {
namespace {

using testing::FakeNames;

// The one rule of what is a stylesheet: ".css" at the end, in any ASCII letter case, and
// where else it stands for the name check's message.
TEST(FileNames, CssRule) {
  const struct {
    const char* name;
    bool at_end;
    bool anywhere;
  } rows[] = {
      {"a.css", true, true},   {"A.CSS", true, true},    {".css", true, true},
      {"xcss", false, false},  {"a.cssx", false, true},  {"a.css.bak", false, true},
      {"a.c ss", false, false}, {"a.\xC3\xA7ss", false, false},  // no look-alike letters
      {"", false, false},      {"a", false, false},      {"css", false, false},  // under 4 bytes
  };
  for (const auto& row : rows) {
    const std::size_t len = std::string(row.name).size();
    EXPECT_EQ(ends_in_css(row.name, len), row.at_end) << row.name;
    EXPECT_EQ(holds_css(row.name, len), row.anywhere) << row.name;
  }
}

// The \\?\ form of absolute paths, in which Windows takes every character as it stands.
TEST(FileNames, VerbatimPaths) {
  const struct {
    std::u16string full;
    std::u16string form;  // empty: refused
    std::size_t cap;
  } rows[] = {
      // clang-format off
      {u"C:\\css\\a.css",          u"\\\\?\\C:\\css\\a.css",          64},
      {u"\\\\srv\\share\\a.css",     u"\\\\?\\UNC\\srv\\share\\a.css",  64},
      {u"C:\\ a .css",             u"\\\\?\\C:\\ a .css",             64},  // spaces as they stand
      {u"\\\\.\\COM1",             u"",                           64},  // the device namespace
      {u"C:\\a.css",               u"\\\\?\\C:\\a.css",               13},  // fits with its NUL
      {u"C:\\a.css",               u"",                           12},
      {u"\\\\s\\h\\a",               u"",                           12},
      // clang-format on
  };
  for (const auto& row : rows) {
    WideUnit out[64];
    const bool made = verbatim_path(wide(row.full).c_str(), out, row.cap);
    EXPECT_EQ(made, !row.form.empty()) << row.cap;
    if (made) {
      EXPECT_TRUE(Wide(out) == wide(row.form)) << row.cap;
    }
  }
  EXPECT_TRUE(is_verbatim_path(wide(u"\\\\?\\C:\\x.css").c_str()));
  EXPECT_FALSE(is_verbatim_path(wide(u"\\\\.\\C:\\x.css").c_str()));
  EXPECT_FALSE(is_verbatim_path(wide(u"C:\\x.css").c_str()));
}

// A name with its last component as the file system holds it, the folders as typed.
TEST(FileNames, LastComponentReplaced) {
  const struct {
    const char* name;
    const char* last;
    std::size_t cap;
    const char* result;  // nullptr: does not fit
  } rows[] = {
      {"LONG~1.CSS", "long name.css", 64, "long name.css"},
      {"dir\\LONG~1.CSS", "long name.css", 64, "dir\\long name.css"},
      {"a/b\\C~1.CSS", "c d.css", 64, "a/b\\c d.css"},
      {"C:LONG~1.CSS", "x.css", 64, "C:x.css"},
      {"C:\\LONG~1.CSS", "x.css", 64, "C:\\x.css"},
      {"d\\A~1.CSS", "ab.css", 9, "d\\ab.css"},  // fits with its NUL
      {"d\\A~1.CSS", "ab.css", 8, nullptr},
  };
  for (const auto& row : rows) {
    char out[64] = "untouched";
    const bool made = with_last_component(row.name, row.last, out, row.cap);
    EXPECT_EQ(made, row.result != nullptr) << row.name;
    if (made) {
      EXPECT_STREQ(out, row.result);
    }
  }
}

// A device name opens the device, with any extension and in any folder.
TEST(FileNames, DeviceNames) {
  // clang-format off
  const char* const devices[] = {"NUL.css", "nul.CSS", "aux.css", "COM1.css", "lpt9.x.css",
      "com0.css", "sub\\CON.css", "a/b/prn.css", "C:aux.css", "NUL .css", "conin$.css",
      "CONOUT$.css", "COM\xC2\xB9.css" /* superscript one */, "nul", "nul:.css"};
  const char* const files[] = {"null.css", "com10.css", "com.css", "xnul.css", "nul\\x.css",
      "a.nul.css", "COM\xC2\xB4.css", "", "lptx.css"};
  // clang-format on
  for (const char* name : devices) EXPECT_TRUE(is_device_name(name)) << name;
  for (const char* name : files) EXPECT_FALSE(is_device_name(name)) << name;
}

// Only the last component makes a pattern: a folder's '*' is a name the system refuses.
TEST(FileNames, WildcardsInTheLastComponent) {
  const char* const patterns[] = {"*.css", "?.css", "dir\\a*", "c:*.css", "a/b/x?y.CSS"};
  const char* const names[] = {"a.css", "dir*\\a.css", "d?/a.css", "", "a.css\\"};
  for (const char* name : patterns) EXPECT_TRUE(has_wildcard(name)) << name;
  for (const char* name : names) EXPECT_FALSE(has_wildcard(name)) << name;
}

// A short (8.3) name stands for the file's long name, for an input, and is refused for an
// output; a difference in letter case alone is the same name.
TEST(FileNames, ShortNamesByWhatTheFileSystemHolds) {
  const std::string too_long = std::string(80, 'n') + ".css";  // for a room of 64 bytes
  const struct {
    const char* name;
    const char* held;
    const char* long_name;  // nullptr: unchanged
    NameSystem::Lookup answer;
    bool own;  // may be created or replaced as itself
  } rows[] = {
      {"dir\\LONGST~1.CSS", "long style name.css", "dir\\long style name.css", NameSystem::FOUND, false},
      {"style.olf", "Style.OLF", nullptr, NameSystem::FOUND, true},
      {"new.olf", "", nullptr, NameSystem::MISSING, true},
      {"x.olf", "", nullptr, NameSystem::UNKNOWN, false},
      {"A~1.CSS", too_long.c_str(), nullptr, NameSystem::FOUND, false},
  };
  for (const auto& row : rows) {
    FakeNames names;
    names.answer = row.answer;
    names.held = row.held;
    char out[64] = "untouched";
    const bool changed = long_file_name(names, row.name, out, sizeof out);
    EXPECT_EQ(changed, row.long_name != nullptr) << row.name;
    EXPECT_STREQ(out, changed ? row.long_name : "untouched") << row.name;
    EXPECT_EQ(names_its_own_file(names, row.name), row.own) << row.name;
  }
}

// A wildcard takes the files whose long names end in ".css" (a short name matches more), in
// name order, letter case aside and then by case, after the folders as typed; whatever
// order the folder lists them in.
TEST(FileNames, WildcardMatchesStylesheetsInNameOrder) {
  const std::vector<FolderEntry> listed = {{"b.css"}, {"a.cssx"}, {"C.Css"}, {"A.css"},
                                           {"d.css", true}, {"e.txt"}, {"a.css"}, {".css"}};
  for (const bool reversed : {false, true}) {
    FakeNames names;
    names.entries = listed;
    if (reversed) std::reverse(names.entries.begin(), names.entries.end());
    std::vector<std::string> matches;
    EXPECT_TRUE(match_stylesheets(names, "sub\\*.c*", matches));
    EXPECT_EQ(matches, (std::vector<std::string>{"sub\\.css", "sub\\A.css", "sub\\a.css",
                                                 "sub\\b.css", "sub\\C.Css"}))
        << (reversed ? "listed backwards" : "listed forwards");
    EXPECT_FALSE(match_stylesheets(names, "sub\\b.css", matches));
    EXPECT_TRUE(matches.empty());
  }
}

}  // namespace
}  // namespace veltrim
