// The codec: names between UTF-16 and WTF-8, and the rules every WTF-8 sequence keeps.
#include "text/codec.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "wide_text.h"

namespace veltrim {
namespace {

std::string to_bytes(const Wide& w, std::size_t cap = 64) {
  char buf[64];
  return wide_to_bytes(w.c_str(), buf, cap) ? std::string(buf) : std::string("<no>");
}

// Every UTF-16 name, paired surrogates or not, has one byte form that leads back to it.
TEST(Codec, EveryWideNameRoundTrips) {
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
TEST(Codec, BytesThatSpellNoWideNameAreRefused) {
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

TEST(Codec, ConversionsStopAtTheirRoom) {
  EXPECT_EQ(to_bytes(wide(u"abc"), 4), "abc");
  EXPECT_EQ(to_bytes(wide(u"abc"), 3), "<no>");
  EXPECT_EQ(to_bytes(wide(u"\u65E5"), 3), "<no>");  // no partial sequence
  WideUnit back[3];
  EXPECT_TRUE(bytes_to_wide("ab", back, 3));
  EXPECT_FALSE(bytes_to_wide("abc", back, 3));
  EXPECT_FALSE(bytes_to_wide("a\xF0\x9F\x98\x80", back, 3));  // no half of a pair
}

// A name's length as Windows counts it: UTF-16 units, of which a four-byte sequence is two.
TEST(Codec, Utf16LengthOfNames) {
  const struct {
    std::string bytes;
    std::size_t units;
  } rows[] = {
      {"a.css", 5},
      {"\xC5\x99" "ez", 3},
      {"\xE6\x97\xA5", 1},
      {"\xF0\x9F\x98\x80", 2},
      {"\xED\xA0\x80", 1},  // a lone surrogate
      {"a\x80\xBF", 1},      // stray continuation bytes count nothing
      {"\xC0\xC1\xF5\xFF", 4},  // bytes that lead no sequence count one each
  };
  for (const auto& row : rows) {
    EXPECT_EQ(utf16_length(row.bytes.data(), row.bytes.size()), row.units) << row.bytes;
  }
}

// The code units the text's encoder writes for WTF-8 bytes, as a file holds them.
std::string encoded(const std::string& wtf8, ByteOrderMark mark) {
  UnitEncoder e = encoder_for(mark);
  unsigned char out[64];
  std::size_t n = encode_units(e, reinterpret_cast<const unsigned char*>(wtf8.data()),
                               wtf8.size(), out);
  n += encode_end(e, out + n);
  return std::string(out, out + n);
}

// The text's encoder takes the names' rules: a sequence that a name may not hold (overlong,
// cut, past U+10FFFF) is no character, and each of its bytes goes out as a unit of its value.
TEST(Codec, EncoderKeepsBytesThatMakeNoCharacterAsUnits) {
  const struct {
    std::string wtf8;
    std::u16string units;
  } rows[] = {
      {"a\xC5\x99", u"a\u0159"},
      {"\xF0\x9F\x98\x80", u"\U0001F600"},
      {"\xE0\x80\xAF", u"\x00E0\x0080\x00AF"},  // an overlong '/'
      {"\xC5z", u"\x00C5z"},
      {"\xF4\x90\x80\x80", u"\x00F4\x0090\x0080\x0080"},
      {"\x80", u"\x0080"},
  };
  for (const auto& row : rows) {
    const std::string out = encoded(row.wtf8, MARK_UTF16LE);
    std::u16string got;
    for (std::size_t i = 0; i + 1 < out.size(); i += 2) {
      got += static_cast<char16_t>(static_cast<unsigned char>(out[i]) |
                                   static_cast<unsigned char>(out[i + 1]) << 8);
    }
    EXPECT_TRUE(got == row.units) << row.wtf8;
  }
}

std::string hex(const std::string& bytes) {
  std::string out;
  for (unsigned char b : bytes) {
    out += "0123456789ABCDEF"[b >> 4];
    out += "0123456789ABCDEF"[b & 15];
    out += ' ';
  }
  return out;
}

// Code units in the given width and byte order, as a file holds them.
std::string units_as_bytes(const std::u32string& units, std::size_t width, bool big_endian) {
  std::string bytes;
  for (char32_t u : units) {
    for (std::size_t k = 0; k < width; ++k) {
      bytes += static_cast<char>(u >> (8 * (big_endian ? width - 1 - k : k)));
    }
  }
  return bytes;
}

std::string decoded(const std::string& bytes, ByteOrderMark mark) {
  UnitDecoder d = decoder_for(mark);
  unsigned char out[64];
  std::size_t n = decode_units(d, reinterpret_cast<const unsigned char*>(bytes.data()),
                               bytes.size(), out);
  n += decode_end(d, out + n);
  return std::string(out, out + n);
}


// The code points where the length of a sequence or the kind of a code point changes, both
// ways: WTF-8 written and read, and UTF-16 (a pair from U+10000) and UTF-32 in both byte
// orders read into it and written back from it. A UTF-32 surrogate is no character: its
// bytes go as they are, each a byte escape.
TEST(Codec, BoundaryCodePointsBothWays) {
  const struct {
    char32_t c;
    std::string wtf8;
    std::u32string utf16;
  } rows[] = {
      // clang-format off
      {0x7F,     "\x7F",             {0x7F}},
      {0x80,     "\xC2\x80",         {0x80}},
      {0x7FF,    "\xDF\xBF",         {0x7FF}},
      {0x800,    "\xE0\xA0\x80",     {0x800}},
      {0xD7FF,   "\xED\x9F\xBF",     {0xD7FF}},
      {0xD800,   "\xED\xA0\x80",     {0xD800}},
      {0xDFFF,   "\xED\xBF\xBF",     {0xDFFF}},
      {0xE000,   "\xEE\x80\x80",     {0xE000}},
      {0xFFFF,   "\xEF\xBF\xBF",     {0xFFFF}},
      {0x10000,  "\xF0\x90\x80\x80", {0xD800, 0xDC00}},
      {0x10FFFF, "\xF4\x8F\xBF\xBF", {0xDBFF, 0xDFFF}},
      // clang-format on
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::Message() << "U+" << std::hex << static_cast<std::uint32_t>(row.c));
    unsigned char seq[4];
    EXPECT_EQ(std::string(seq, seq + put_wtf8(row.c, seq)), row.wtf8);
    const auto* lead = reinterpret_cast<const unsigned char*>(row.wtf8.data());
    std::uint32_t c = 0;
    ASSERT_EQ(sequence_length(lead[0]), row.wtf8.size());
    EXPECT_TRUE(decode_sequence(lead, row.wtf8.size(), c));
    EXPECT_EQ(c, row.c);
    const bool surrogate = is_high_surrogate(row.c) || is_low_surrogate(row.c);
    for (bool big : {false, true}) {
      const std::string u16 = units_as_bytes(row.utf16, 2, big);
      const std::string u32 = units_as_bytes({row.c}, 4, big);
      const ByteOrderMark mark16 = big ? MARK_UTF16BE : MARK_UTF16LE;
      const ByteOrderMark mark32 = big ? MARK_UTF32BE : MARK_UTF32LE;
      EXPECT_EQ(decoded(u16, mark16), row.wtf8) << "big " << big;
      EXPECT_EQ(encoded(row.wtf8, mark16), u16) << "big " << big;
      EXPECT_EQ(decoded(u32, mark32) == row.wtf8, !surrogate) << "big " << big;
      EXPECT_EQ(encoded(decoded(u32, mark32), mark32), u32) << "big " << big;
    }
  }
}

// Lead bytes at the edges of the lengths, and sequences one past each length's range
// (overlong, or past U+10FFFF): a byte that leads no sequence, and a sequence that is no
// character, is refused as a name and written as text byte for byte, a unit of each byte's
// value.
TEST(Codec, LeadBytesAndOverlongFormsBothWays) {
  const struct {
    std::string wtf8;
    std::size_t length;  // sequence_length of the lead byte
    char32_t c;          // the code point, or 0 for none
  } rows[] = {
      // clang-format off
      {"\xC0\x80",         0, 0},         // an overlong NUL: C0 leads nothing
      {"\xC1\xBF",         0, 0},         // an overlong U+007F
      {"\xC2\x80",         2, 0x80},
      {"\xDF\xBF",         2, 0x7FF},
      {"\xE0\x9F\xBF",     3, 0},         // U+07FF in three bytes
      {"\xE0\xA0\x80",     3, 0x800},
      {"\xF0\x8F\xBF\xBF", 4, 0},         // U+FFFF in four bytes
      {"\xF4\x8F\xBF\xBF", 4, 0x10FFFF},
      {"\xF4\x90\x80\x80", 4, 0},         // U+110000
      {"\xF5\x80\x80\x80", 0, 0},         // F5 leads nothing
      {"\xC5\xC5",         2, 0},         // a continuation of the form 11xxxxxx
      {"\xE6\x97\xE6",     3, 0},         // ... last of three
      // clang-format on
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(hex(row.wtf8));
    const auto* p = reinterpret_cast<const unsigned char*>(row.wtf8.data());
    ASSERT_EQ(sequence_length(p[0]), row.length);
    std::uint32_t c = 0;
    const bool character = row.length != 0 && decode_sequence(p, row.length, c);
    EXPECT_EQ(character, row.c != 0);
    if (character) {
      EXPECT_EQ(c, row.c);
    }
    WideUnit back[8];
    EXPECT_EQ(bytes_to_wide(row.wtf8.c_str(), back, 8), character);
    for (ByteOrderMark mark : {MARK_UTF16LE, MARK_UTF32BE}) {
      const std::size_t width = unit_size(mark);
      std::u32string units;
      if (!character) {
        for (unsigned char b : row.wtf8) units += b;
      } else if (width == 2 && row.c >= 0x10000) {
        units = {0xD800 + ((row.c - 0x10000) >> 10), 0xDC00 + ((row.c - 0x10000) & 0x3FF)};
      } else {
        units = {row.c};
      }
      EXPECT_EQ(encoded(row.wtf8, mark), units_as_bytes(units, width, mark == MARK_UTF32BE))
          << "width " << width;
    }
  }
}

}  // namespace
}  // namespace veltrim
