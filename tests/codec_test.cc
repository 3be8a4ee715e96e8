// The codec: names between UTF-16 and WTF-8, and the rules every WTF-8 sequence keeps.
#include "text/codec.h"

#include <gtest/gtest.h>

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
  };
  for (const auto& row : rows) {
    EXPECT_EQ(utf16_length(row.bytes.data(), row.bytes.size()), row.units) << row.bytes;
  }
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
    UnitEncoder e = encoder_for(MARK_UTF16LE);
    unsigned char out[64];
    std::size_t n = encode_units(e, reinterpret_cast<const unsigned char*>(row.wtf8.data()),
                                 row.wtf8.size(), out);
    n += encode_end(e, out + n);
    std::u16string got;
    for (std::size_t i = 0; i + 1 < n; i += 2) got += static_cast<char16_t>(out[i] | out[i + 1] << 8);
    EXPECT_TRUE(got == row.units) << row.wtf8;
  }
}

}  // namespace
}  // namespace veltrim
