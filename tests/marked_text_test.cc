// Inputs that start with a byte order mark, through the whole run over memory files: the mark
// comes back first, UTF-16 is converted over its code units and written back as UTF-16.
#include <gtest/gtest.h>

#include <string>

#include "driver/driver.h"
#include "memory_file.h"

namespace veltrim::testing {
namespace {

// UTF-16 text as bytes in either order; `mark` puts the byte order mark first.
std::string utf16(const std::u16string& text, bool big_endian, bool mark = true) {
  std::string bytes = mark ? (big_endian ? "\xFE\xFF" : "\xFF\xFE") : "";
  for (char16_t u : text) {
    const char hi = static_cast<char>(u >> 8);
    const char lo = static_cast<char>(u & 0xFF);
    bytes += big_endian ? std::string{hi, lo} : std::string{lo, hi};
  }
  return bytes;
}
std::string le(const std::u16string& text) { return utf16(text, false); }
std::string be(const std::u16string& text) { return utf16(text, true); }

const std::string kUtf8Mark = "\xEF\xBB\xBF";

struct Row {
  const char* name;
  std::string in;
  std::string out;
};

const Row kRows[] = {
    // A leading mark was copied, then the blank after the comment became a space.
    {"utf-8 mark, comment before the first rule", kUtf8Mark + "/* c */ a { b : c }",
     kUtf8Mark + "a{b :c }\r\n"},
    {"utf-8 mark alone", kUtf8Mark, kUtf8Mark},
    {"utf-8 mark not at the start is a character", "a{b:" + kUtf8Mark + "}",
     "a{b:" + kUtf8Mark + "}\r\n"},
    {"a cut utf-8 mark is bytes", "\xEF\xBB", "\xEF\xBB"},
    {"no mark: bytes stay bytes", "\xFF\x7B a", "\xFF{a"},
    // UTF-16 was read as bytes: comments kept and "}" followed by a lone CR and LF byte.
    {"utf-16 LE", le(u"/* c */ a { b : c }\n"), le(u"a{b :c }\r\n")},
    {"utf-16 BE", be(u"/* c */ a { b : c }\n"), be(u"a{b :c }\r\n")},
    // U+017B is 7B 01 in LE and U+2020 is 20 20: in bytes a '{' and two blanks.
    {"units whose bytes look like ASCII, LE", le(u"a\u017B{ x:\u2020 }"), le(u"a\u017B{x:\u2020 }\r\n")},
    {"units whose bytes look like ASCII, BE", be(u"\u0A0D{\u2F2A:\u7D7D}"), be(u"\u0A0D{\u2F2A:\u7D7D}\r\n")},
    {"surrogate pair", le(u"p{c:'\U0001F600\u0159'}"), le(u"p{c:'\U0001F600\u0159'}\r\n")},
    {"lone surrogates meet where a comment was", le(u"a{b:\xD800/**/\xDC00}"),
     le(u"a{b:\xD800\xDC00}\r\n")},
    {"lone high surrogate at the end", be(u"a{b:c}\xDBFF"), be(u"a{b:c}\r\n\xDBFF")},
    {"lone low surrogate first", le(u"\xDC00 {b:c}"), le(u"\xDC00{b:c}\r\n")},
    {"odd last byte is kept", le(u"a { b:c }") + "\x41", le(u"a{b:c }\r\n") + "\x41"},
    {"utf-16 mark alone", "\xFF\xFE", "\xFF\xFE"},
    {"utf-16 mark and one byte", "\xFE\xFF\x7B", "\xFE\xFF\x7B"},
    {"a utf-16 mark after the start is bytes", " \xFF\xFE a", "\xFF\xFE a"},
};

Outcome run(const std::string& in, std::size_t split_at, std::size_t block, MemoryFile& out) {
  MemoryFile src(in);
  src.split_at = split_at;
  return convert_files(src, out, block);
}

// Every row at every split of its input, with stream blocks from one byte up.
TEST(MarkedText, EverySplitGivesTheMarkedOutput) {
  for (const Row& row : kRows) {
    for (std::size_t block : {std::size_t{1}, std::size_t{2}, std::size_t{5}, kBlockSize}) {
      for (std::size_t split = 0; split <= row.in.size(); ++split) {
        SCOPED_TRACE(::testing::Message() << row.name << ", block " << block << ", split " << split);
        MemoryFile out;
        const Outcome o = run(row.in, split, block, out);
        EXPECT_FALSE(o.read_failed || o.write_failed);
        ASSERT_EQ(out.data, row.out);
      }
    }
  }
}

// A read or a write that fails anywhere in a marked file, the mark included, is reported.
TEST(MarkedText, FailuresAnywhereAreReported) {
  const std::string in = le(u"/* x */ a { b : \U0001F600 } c{d:e}") + "\x01";
  MemoryFile clean;
  run(in, kNever, kBlockSize, clean);
  for (std::size_t n = 0; n < in.size(); ++n) {
    MemoryFile src(in);
    src.fail_read_at = n;
    MemoryFile out;
    EXPECT_TRUE(convert_files(src, out, 3).read_failed) << "read fails at " << n;
  }
  for (std::size_t n = 0; n < clean.data.size(); ++n) {
    MemoryFile out;
    out.fail_write_at = n;
    EXPECT_TRUE(run(in, kNever, 3, out).write_failed) << "write fails at " << n;
    EXPECT_TRUE(out.closed);
  }
}

}  // namespace
}  // namespace veltrim::testing
