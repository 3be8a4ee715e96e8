// Inputs that start with a byte order mark, through the whole run over memory: the mark comes
// back first, UTF-16 and UTF-32 are converted over their code units and written back as they
// came.
#include "text/mark_streams.h"

#include <gtest/gtest.h>

#include <string>

#include "driver/driver.h"
#include "memory_io.h"

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

// UTF-32 units, characters or not, as bytes after the mark of their order.
std::string utf32(const std::u32string& units, bool big_endian) {
  std::string bytes = big_endian ? std::string("\0\0\xFE\xFF", 4) : std::string("\xFF\xFE\0\0", 4);
  for (char32_t u : units) {
    for (int k = 0; k < 4; ++k) bytes += static_cast<char>(u >> (8 * (big_endian ? 3 - k : k)));
  }
  return bytes;
}
std::string le32(const std::u32string& units) { return utf32(units, false); }
std::string be32(const std::u32string& units) { return utf32(units, true); }

const std::string kUtf8Mark = "\xEF\xBB\xBF";

struct Row {
  const char* name;
  std::string in;
  std::string out;
};

const Row kRows[] = {
    // After the mark the text converts as from the start of a file: the blank goes too.
    {"utf-8 mark, comment before the first rule", kUtf8Mark + "/* c */ a { b : c }",
     kUtf8Mark + "a{b :c }\r\n"},
    {"utf-8 mark alone", kUtf8Mark, kUtf8Mark},
    {"utf-8 mark not at the start is a character", "a{b:" + kUtf8Mark + "}",
     "a{b:" + kUtf8Mark + "}\r\n"},
    {"a cut utf-8 mark is bytes", "\xEF\xBB", "\xEF\xBB"},
    {"no mark: bytes stay bytes", "\xFF\x7B a", "\xFF{a"},
    // Over the code units: the comment goes, and "}" is followed by CR LF as two units.
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
    {"a head of EF BB 80 is no mark", "\xEF\xBB\x80 a { b }", "\xEF\xBB\x80 a{b }"},
    // UTF-32 was taken for UTF-16 (FF FE 00 00), or for bytes (00 00 FE FF), and garbled.
    {"utf-32 LE", le32(U"/* c */ a { b : c }\n"), le32(U"a{b :c }\r\n")},
    {"utf-32 BE", be32(U"/* c */ a { b : c }\n"), be32(U"a{b :c }\r\n")},
    {"utf-32 units whose bytes look like ASCII", le32(U"a\u7B0A{ x:\U0002207D }"),
     le32(U"a\u7B0A{x:\U0002207D }\r\n")},
    {"utf-32 units that are no character are kept", be32(U"a{b:\x110000 \xD800/**/\xDC00\xFFFFFFFF}"),
     be32(U"a{b:\x110000 \xD800\xDC00\xFFFFFFFF}\r\n")},
    {"utf-32 unit past U+10FFFF made of '{'", le32(U"a { b:\x7B7B7B7B }"), le32(U"a{b:\x7B7B7B7B }\r\n")},
    {"utf-32 cut last unit is kept", be32(U"a { b:c }") + "\x41\x42\x43", be32(U"a{b:c }\r\n") + "\x41\x42\x43"},
    {"utf-32 mark alone, LE", le32(U""), le32(U"")},
    {"utf-32 mark alone, BE", be32(U""), be32(U"")},
    {"FF FE 00 is utf-16 with an odd last byte", std::string("\xFF\xFE\0", 3), std::string("\xFF\xFE\0", 3)},
};

Outcome run(const std::string& in, std::size_t split_at, std::size_t block, MemorySink& out) {
  MemorySource src(in);
  src.split_at = split_at;
  return convert_files(src, out, block);
}

// Every row at every split of its input, with stream blocks from one byte up.
TEST(MarkedText, EverySplitGivesTheMarkedOutput) {
  for (const Row& row : kRows) {
    for (std::size_t block : {std::size_t{1}, std::size_t{2}, std::size_t{5}, kBlockSize}) {
      for (std::size_t split = 0; split <= row.in.size(); ++split) {
        SCOPED_TRACE(::testing::Message() << row.name << ", block " << block << ", split " << split);
        MemorySink out;
        const Outcome o = run(row.in, split, block, out);
        EXPECT_FALSE(o.read_failed || o.write_failed);
        ASSERT_EQ(out.data, row.out);
      }
    }
  }
}

// A read or a write that fails anywhere in a marked file, the mark included, is reported; so
// is a write that fails once while the ones after it would do, and a sink that moves nothing.
TEST(MarkedText, FailuresAnywhereAreReported) {
  const std::string inputs[] = {
      le(u"/* x */ a { b : \U0001F600 } c{d:e}") + "\x01",
      be32(U"/* x */ a { b : \U0001F600 } c{d:e}") + "\x01",
      kUtf8Mark + "/* x */ a { b : c } c{d:e}",
  };
  for (const std::string& in : inputs) {
    MemorySink clean;
    run(in, kNever, kBlockSize, clean);
    for (std::size_t n = 0; n < in.size(); ++n) {
      MemorySource src(in);
      src.fail_read_at = n;
      MemorySink out;
      EXPECT_TRUE(convert_files(src, out, 3).read_failed) << "read fails at " << n;
    }
    for (std::size_t n = 0; n < clean.data.size(); ++n) {
      MemorySink out;
      out.fail_write_at = n;
      EXPECT_TRUE(run(in, kNever, 3, out).write_failed) << "write fails at " << n;
      EXPECT_TRUE(out.closed);
    }
    for (int call = 1; call <= clean.write_calls; ++call) {
      MemorySink out;
      out.fail_call = call;
      EXPECT_TRUE(run(in, kNever, 3, out).write_failed) << "write call " << call << " fails";
    }
    MemorySink stalled;
    stalled.max_write = 0;
    EXPECT_TRUE(run(in, kNever, 3, stalled).write_failed);
    EXPECT_EQ(stalled.write_calls, 1) << "a write that moved nothing was tried again";
  }
}

// A read of the file that fails once, where the reads after it would deliver again: every
// later read of the streams fails too, and none reads the file again. In bytes the failure
// may come with the read after the bytes the head held; in UTF-16, with the next block.
TEST(MarkedText, AFailedReadStaysFailed) {
  const std::string sheet = "a{b:c} d{e:f}";
  const struct {
    const char* name;
    std::string in;
    std::size_t fail_at;
  } rows[] = {
      {"bytes, in the head", sheet, 2},
      {"bytes, after the head", sheet, 4},
      {"utf-8 mark, after the head", kUtf8Mark + sheet, 4},
      {"utf-16, after the head", le(u"a{b:c} d{e:f}"), 4},
      {"utf-16, in a later block", le(u"a{b:c} d{e:f}"), 9},
  };
  static MarkStreams marks;
  for (const auto& row : rows) {
    MemorySource src(row.in);
    src.fail_once_at = row.fail_at;
    MemorySink sink;
    marks.attach(src, sink);
    unsigned char buf[64];
    long n = 0;
    while ((n = marks.input().read(buf, sizeof buf)) > 0) {
    }
    EXPECT_EQ(n, -1) << row.name;
    EXPECT_EQ(marks.input().read(buf, sizeof buf), -1) << row.name;
    EXPECT_EQ(src.pos, row.fail_at) << row.name;
  }
}

}  // namespace
}  // namespace veltrim::testing
