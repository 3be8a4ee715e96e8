// The tool's one codec: code points as WTF-8 (UTF-8 that also spells a lone surrogate), and
// UTF-16 and UTF-32 in either byte order. Windows names (UTF-16) travel through the tool as
// WTF-8 byte strings, and so does the text of a file marked as UTF-16 or UTF-32 on its way
// through the conversion: ASCII stays ASCII, and every other character becomes bytes of 0x80
// and above, which the conversion copies or drops whole. One set of rules for all of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace veltrim {

// A UTF-16 code unit: wchar_t where it is one (Windows), char16_t elsewhere.
using WideUnit = std::conditional_t<sizeof(wchar_t) == 2, wchar_t, char16_t>;

inline bool is_high_surrogate(std::uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
inline bool is_low_surrogate(std::uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Bytes of a code point (up to U+10FFFF, a lone surrogate included) in WTF-8: 1 to 4.
constexpr std::size_t wtf8_length(std::uint32_t c) {
  return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}
// Writes that code point's wtf8_length(c) bytes at dst; returns their count.
std::size_t put_wtf8(std::uint32_t c, unsigned char* dst);

// The bytes of the sequence that `lead` starts, 1 to 4; 0 for a byte that starts none (a
// continuation byte, C0, C1, F5 to FF).
std::size_t sequence_length(unsigned char lead);
// The code point of the sequence of `len` = sequence_length(p[0]) bytes at p; false when a
// continuation byte is missing, the sequence is overlong or the code point is past U+10FFFF.
bool decode_sequence(const unsigned char* p, std::size_t len, std::uint32_t& c);

// UTF-16 names to WTF-8 bytes, so that every name the file system can hold has exactly one
// byte form. Writes a NUL-terminated string; false when it does not fit in `cap` bytes with
// its NUL.
bool wide_to_bytes(const WideUnit* src, char* dst, std::size_t cap);
// The way back: false for bytes that wide_to_bytes never writes (a malformed or overlong
// sequence, a code point past U+10FFFF, a surrogate pair written as two sequences), and when
// the result does not fit in `cap` units with its NUL. Every name that passes opens the one
// file whose name it spells.
bool bytes_to_wide(const char* src, WideUnit* dst, std::size_t cap);
// The UTF-16 units that the `bytes` bytes at `s` stand for in WTF-8: the length of a name as
// Windows counts it. Every byte but a continuation byte (80 to BF) counts as one unit, a lead
// of four bytes as two, and a continuation byte, stray or not, as none.
std::size_t utf16_length(const char* s, std::size_t bytes);

// The encodings that a byte order mark at the start of a file names.
enum ByteOrderMark : unsigned char {
  MARK_NONE,     // bytes stay bytes
  MARK_UTF8,     // EF BB BF
  MARK_UTF16LE,  // FF FE
  MARK_UTF16BE,  // FE FF
  MARK_UTF32LE,  // FF FE 00 00: read before UTF-16 LE, whose mark it begins with
  MARK_UTF32BE,  // 00 00 FE FF
};
constexpr std::size_t kMarkMax = 4;  // bytes that tell every mark apart
// The mark that the first `n` bytes of a file start with (all of them when the file is
// shorter than kMarkMax); its length in `len`, 0 for none.
ByteOrderMark mark_of(const unsigned char* head, std::size_t n, std::size_t& len);
// The bytes of a mark, and their count.
const unsigned char* mark_bytes(ByteOrderMark mark, std::size_t& len);
// Bytes a code unit: 2 for UTF-16, 4 for UTF-32, 1 for bytes and UTF-8, which stay as they are.
std::size_t unit_size(ByteOrderMark mark);

// How a marked text spells its code units: 2 bytes each for UTF-16, 4 for UTF-32, in
// either order.
struct UnitFormat {
  std::size_t width = 2;
  bool big_endian = false;
};

// Code units to WTF-8, a block at a time: a unit or a surrogate pair cut by a block's end is
// finished by the next block. A UTF-32 unit that is no character (past U+10FFFF, or a
// surrogate) goes out byte for byte, each of its four bytes as the lone surrogate U+DC00 plus
// that byte: there is no such character in UTF-32 text, so the encoder knows them again.
struct UnitDecoder : UnitFormat {
  unsigned char part[4] = {};  // a unit cut by a block's end; at the end, the input's cut last unit
  std::size_t part_len = 0;
  bool has_high = false;  // `high` is a high surrogate whose low one may come next
  std::uint16_t high = 0;
};
// Set up for a marked text (UTF-16 or UTF-32).
UnitDecoder decoder_for(ByteOrderMark mark);
// Room a decode of n bytes may take, with what is held from before.
constexpr std::size_t decoded_max(std::size_t n) { return 3 * (n + 4); }
// Decodes `n` bytes into dst; returns the count written.
std::size_t decode_units(UnitDecoder& d, const unsigned char* src, std::size_t n,
                         unsigned char* dst);
// The end of the input: a high surrogate still held goes out alone (at most 3 bytes). A cut
// last unit stays in `part`, for the writer to put back byte for byte.
std::size_t decode_end(UnitDecoder& d, unsigned char* dst);

// WTF-8 back to code units, a block at a time.
struct UnitEncoder : UnitFormat {
  unsigned char seq[4] = {};  // a sequence cut by a block's end
  std::size_t have = 0;
  std::size_t need = 0;
};
UnitEncoder encoder_for(ByteOrderMark mark);
// Room an encode of n bytes may take, with what is held from before: a unit a byte at most.
constexpr std::size_t encoded_max(std::size_t n) { return 4 * (n + 4); }
// Encodes `n` bytes into dst; returns the count written. A byte that starts no sequence, or
// a sequence cut short or malformed, never comes from the decoder; each of its bytes goes out
// as a code unit of its value.
std::size_t encode_units(UnitEncoder& e, const unsigned char* src, std::size_t n,
                         unsigned char* dst);
std::size_t encode_end(UnitEncoder& e, unsigned char* dst);

}  // namespace veltrim
