// Windows names as bytes and back, and the names Windows keeps for devices.
#include "platform/win_names.h"

#include <gtest/gtest.h>

#include <string>

namespace veltrim {
namespace {

using Wide = std::basic_string<WideUnit>;

// Unit by unit: mingw's GCC 12 warns, wrongly, of an overread on the range constructor.
Wide wide(const std::u16string& s) {
  Wide w;
  for (char16_t c : s) w.push_back(static_cast<WideUnit>(c));
  return w;
}

std::string to_bytes(const Wide& w, std::size_t cap = 64) {
  char buf[64];
  return wide_to_bytes(w.c_str(), buf, cap) ? std::string(buf) : std::string("<no>");
}

// Every UTF-16 name, paired surrogates or not, has one byte form that leads back to it.
TEST(WinNames, EveryWideNameRoundTrips) {
  const struct {
    std::u16string name;
    std::string bytes;
  } rows[] = {
      // clang-format off
      {u"a.css", "a.css"},
      {u"\u0159ez.css", "\xC5\x99" "ez.css"},                 // outside the Western code pages
      {u"\u65E5\u672C.css", "\xE6\x97\xA5\xE6\x9C\xAC.css"},  // outside every single-byte one
      {u"\U0001F600.css", "\xF0\x9F\x98\x80.css"},            // a surrogate pair
      {u"\xD800x.css", "\xED\xA0\x80x.css"},                  // a lone high surrogate
      {u"x\xDC00", "x\xED\xB0\x80"},                          // a lone low one
      {u"\xDC00\xD800", "\xED\xB0\x80\xED\xA0\x80"},          // low before high: no pair
      {u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},                        // the last code point
      // clang-format on
  };
  for (const auto& row : rows) {
    EXPECT_EQ(to_bytes(wide(row.name)), row.bytes);
    WideUnit back[64];
    ASSERT_TRUE(bytes_to_wide(row.bytes.c_str(), back, 64)) << row.bytes;
    EXPECT_TRUE(Wide(back) == wide(row.name)) << row.bytes;
  }
}

// Bytes that no wide name gives would otherwise open a look-alike, or one of two forms.
TEST(WinNames, BytesThatSpellNoWideNameAreRefused) {
  const char* const rows[] = {
      "\x80",                      // a continuation byte alone
      "a\xC5",                     // a sequence cut by the end
      "\xC5z",                     // ... or by a plain byte
      "\xC0\xAF",                  // an overlong '/'
      "\xE0\x80\xAF",              // the same in three bytes
      "\xF0\x8F\xBF\xBF",          // U+FFFF in four bytes
      "\xF4\x90\x80\x80",          // past U+10FFFF
      "\xF8\x88\x80\x80\x80",      // five bytes
      "\xED\xA0\x80\xED\xB0\x80",  // a pair as two sequences
  };
  for (const char* bytes : rows) {
    WideUnit back[16];
    EXPECT_FALSE(bytes_to_wide(bytes, back, 16)) << bytes;
  }
}

TEST(WinNames, ConversionsStopAtTheirRoom) {
  EXPECT_EQ(to_bytes(wide(u"abc"), 4), "abc");
  EXPECT_EQ(to_bytes(wide(u"abc"), 3), "<no>");
  EXPECT_EQ(to_bytes(wide(u"\u65E5"), 3), "<no>");  // no partial sequence
  WideUnit back[3];
  EXPECT_TRUE(bytes_to_wide("ab", back, 3));
  EXPECT_FALSE(bytes_to_wide("abc", back, 3));
  EXPECT_FALSE(bytes_to_wide("a\xF0\x9F\x98\x80", back, 3));  // no half of a pair
}

// The \\?\ form of absolute paths, in which Windows takes every character as it stands.
TEST(WinNames, VerbatimPaths) {
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
TEST(WinNames, LastComponentReplaced) {
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
TEST(WinNames, DeviceNames) {
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
TEST(WinNames, WildcardsInTheLastComponent) {
  const char* const patterns[] = {"*.css", "?.css", "dir\\a*", "c:*.css", "a/b/x?y.CSS"};
  const char* const names[] = {"a.css", "dir*\\a.css", "d?/a.css", "", "a.css\\"};
  for (const char* name : patterns) EXPECT_TRUE(has_wildcard(name)) << name;
  for (const char* name : names) EXPECT_FALSE(has_wildcard(name)) << name;
}

}  // namespace
}  // namespace veltrim
