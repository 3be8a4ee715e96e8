// File names: the .css rule, Windows paths, wildcards and the names Windows keeps for devices.
#include "platform/file_names.h"

#include <gtest/gtest.h>

#include <string>

#include "wide_text.h"

namespace veltrim {
namespace {

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

}  // namespace
}  // namespace veltrim
