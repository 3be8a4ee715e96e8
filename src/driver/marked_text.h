// Inputs that begin with a byte order mark. The conversion only ever sees bytes: a UTF-8
// mark is set aside and written back first, and UTF-16 is read as WTF-8 (UTF-8 that also
// spells an unpaired surrogate, as the Windows names are) and written back as UTF-16 in the
// same byte order. Only ASCII characters steer the conversion, and every other character is
// copied or dropped whole, so this is the conversion over the 16-bit code units themselves.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/file_io.h"

namespace veltrim {

enum TextMark {
  MARK_NONE,     // bytes stay bytes
  MARK_UTF8,     // EF BB BF
  MARK_UTF16LE,  // FF FE
  MARK_UTF16BE,  // FE FF
};

// UTF-16 to WTF-8, a block at a time: a code unit or a surrogate pair cut by a block's end
// is finished by the next block.
struct Utf16Decoder {
  bool big_endian = false;
  bool has_byte = false;  // `byte` starts a code unit; at the end, the input's odd last byte
  unsigned char byte = 0;
  bool has_high = false;  // `high` is a high surrogate whose low one may come next
  std::uint16_t high = 0;
};

// Room a decode may take: 3 bytes a code unit, and 3 more for a surrogate held from before.
constexpr std::size_t utf16_decoded_max(std::size_t n) { return 3 * ((n + 1) / 2) + 3; }

// Decodes `n` bytes into `dst`; returns the count written.
std::size_t utf16_decode(Utf16Decoder& d, const unsigned char* src, std::size_t n,
                         unsigned char* dst);
// The end of the input: a high surrogate still held is written alone (at most 3 bytes). An odd
// last byte stays in `has_byte` and `byte`.
std::size_t utf16_decode_end(Utf16Decoder& d, unsigned char* dst);

// WTF-8 back to UTF-16, a block at a time.
struct Utf16Encoder {
  bool big_endian = false;
  std::size_t have = 0;  // bytes of a sequence cut by a block's end
  std::size_t need = 0;
  unsigned char seq[4] = {};
};

// Room an encode may take: 2 bytes a byte, for the bytes held from before too.
constexpr std::size_t utf16_encoded_max(std::size_t n) { return 2 * (n + 3); }

// Encodes `n` bytes into `dst`; returns the count written. A byte that starts no sequence, or
// a sequence cut short, never comes from the decoder; it goes out as a code unit of its value.
std::size_t utf16_encode(Utf16Encoder& e, const unsigned char* src, std::size_t n,
                         unsigned char* dst);
std::size_t utf16_encode_end(Utf16Encoder& e, unsigned char* dst);

// The input as the conversion reads it: what follows the mark, UTF-16 as WTF-8. The first read
// takes the first bytes of `raw` to look for a mark.
class MarkedInput final : public RawFile {
 public:
  void attach(RawFile& raw);
  // Known after the first read.
  TextMark mark() const { return mark_; }
  // True, with the byte, when a UTF-16 input of odd length has ended.
  bool odd_last_byte(unsigned char* b) const;

  long read(unsigned char* dst, std::size_t size) override;
  long write(const unsigned char*, std::size_t) override { return -1; }
  bool close() override { return true; }  // `raw` belongs to the caller

 private:
  bool read_head();
  bool decode_more();

  RawFile* raw_ = nullptr;
  bool started_ = false;
  bool ended_ = false;   // `raw` has reported its end
  bool failed_ = false;  // a read of `raw` failed: every later read fails too
  TextMark mark_ = MARK_NONE;
  unsigned char head_[3] = {};
  std::size_t head_len_ = 0;
  std::size_t head_pos_ = 0;
  Utf16Decoder decoder_;
  static constexpr std::size_t kUnits = std::size_t{64} * 1024;
  unsigned char units_[kUnits] = {};
  unsigned char text_[utf16_decoded_max(kUnits)] = {};
  std::size_t text_len_ = 0;
  std::size_t text_pos_ = 0;
};

// The output: the input's mark first, then the conversion, UTF-16 again for a UTF-16 input, and
// at the close the odd last byte of such an input.
class MarkedOutput final : public RawFile {
 public:
  void attach(RawFile& raw, const MarkedInput& input);

  long read(unsigned char*, std::size_t) override { return -1; }
  long write(const unsigned char* src, std::size_t size) override;
  bool close() override;  // closes `raw` too

 private:
  bool start();
  bool put(const unsigned char* src, std::size_t size);

  RawFile* raw_ = nullptr;
  const MarkedInput* input_ = nullptr;
  bool started_ = false;
  bool utf16_ = false;
  Utf16Encoder encoder_;
  static constexpr std::size_t kChunk = std::size_t{64} * 1024;
  unsigned char units_[utf16_encoded_max(kChunk)] = {};
};

}  // namespace veltrim
