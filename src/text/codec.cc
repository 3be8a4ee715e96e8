#include "text/codec.h"

#include <cstring>

namespace veltrim {

namespace {

// A supplementary code point as its two UTF-16 units, and back.
constexpr std::uint32_t high_of(std::uint32_t c) { return 0xD800 + ((c - 0x10000) >> 10); }
constexpr std::uint32_t low_of(std::uint32_t c) { return 0xDC00 + ((c - 0x10000) & 0x3FF); }
constexpr std::uint32_t paired(std::uint32_t high, std::uint32_t low) {
  return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}

// The lone surrogates that stand for the bytes of a UTF-32 unit that is no character.
constexpr std::uint32_t kByteEscape = 0xDC00;
constexpr bool is_byte_escape(std::uint32_t c) { return c >= kByteEscape && c <= kByteEscape + 0xFF; }

// One UTF-16 unit into WTF-8: a high surrogate waits for the unit after it, which pairs with
// it or leaves it alone.
std::size_t put_utf16_unit(bool& has_high, std::uint16_t& high, std::uint32_t u,
                           unsigned char* dst) {
  std::size_t out = 0;
  if (has_high) {
    has_high = false;
    if (is_low_surrogate(u)) return put_wtf8(paired(high, u), dst);
    out = put_wtf8(high, dst);
  }
  if (is_high_surrogate(u)) {
    high = static_cast<std::uint16_t>(u);
    has_high = true;
    return out;
  }
  return out + put_wtf8(u, dst + out);
}

// A code unit of `width` bytes in the given order.
std::size_t put_unit(std::uint32_t u, std::size_t width, bool big_endian, unsigned char* dst) {
  for (std::size_t k = 0; k < width; ++k) {
    const auto b = static_cast<unsigned char>(u >> (8 * k));
    dst[big_endian ? width - 1 - k : k] = b;
  }
  return width;
}

std::uint32_t unit_at(const unsigned char* p, std::size_t width, bool big_endian) {
  std::uint32_t u = 0;
  for (std::size_t k = 0; k < width; ++k) u |= std::uint32_t{p[big_endian ? width - 1 - k : k]} << (8 * k);
  return u;
}

// A code point as the units of the encoder's width.
std::size_t put_code_point(const UnitEncoder& e, std::uint32_t c, unsigned char* dst) {
  if (e.width == 4) {
    if (is_byte_escape(c)) {
      *dst = static_cast<unsigned char>(c - kByteEscape);
      return 1;
    }
    return put_unit(c, 4, e.big_endian, dst);
  }
  if (c < 0x10000) return put_unit(c, 2, e.big_endian, dst);
  put_unit(high_of(c), 2, e.big_endian, dst);
  return 2 + put_unit(low_of(c), 2, e.big_endian, dst + 2);
}

// Bytes that make no sequence, each as a unit of its value.
std::size_t put_bytes_as_units(const UnitEncoder& e, const unsigned char* p, std::size_t n,
                               unsigned char* dst) {
  std::size_t out = 0;
  for (std::size_t k = 0; k < n; ++k) out += put_unit(p[k], e.width, e.big_endian, dst + out);
  return out;
}

struct MarkBytes {
  ByteOrderMark mark;
  unsigned char bytes[kMarkMax];
  std::size_t len;
};
// Longest first where one mark begins another: FF FE 00 00 before FF FE.
constexpr MarkBytes kMarks[] = {
    {MARK_UTF32LE, {0xFF, 0xFE, 0x00, 0x00}, 4}, {MARK_UTF32BE, {0x00, 0x00, 0xFE, 0xFF}, 4},
    {MARK_UTF8, {0xEF, 0xBB, 0xBF}, 3},          {MARK_UTF16LE, {0xFF, 0xFE}, 2},
    {MARK_UTF16BE, {0xFE, 0xFF}, 2},
};

// The spelling of the code units that a mark names.
UnitFormat format_of(ByteOrderMark mark) {
  return UnitFormat{unit_size(mark), mark == MARK_UTF16BE || mark == MARK_UTF32BE};
}

}  // namespace

std::size_t put_wtf8(std::uint32_t c, unsigned char* dst) {
  const std::size_t len = wtf8_length(c);
  static constexpr unsigned char kLead[] = {0, 0, 0xC0, 0xE0, 0xF0};
  for (std::size_t k = len - 1; k > 0; --k) {
    dst[k] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    c >>= 6;
  }
  dst[0] = static_cast<unsigned char>(len == 1 ? c : kLead[len] | c);
  return len;
}

std::size_t sequence_length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

bool decode_sequence(const unsigned char* p, std::size_t len, std::uint32_t& c) {
  // The smallest code point that needs each length: anything less is overlong.
  static constexpr std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  if (len == 1) {
    c = p[0];
    return true;
  }
  c = p[0] & (0x7Fu >> len);
  for (std::size_t k = 1; k < len; ++k) {
    // Checked in order, so that a NUL that ends a string before the sequence does ends the
    // reading too.
    if ((p[k] & 0xC0) != 0x80) return false;
    c = (c << 6) | (p[k] & 0x3Fu);
  }
  return c >= kLeast[len] && c <= 0x10FFFF;
}

bool wide_to_bytes(const WideUnit* src, char* dst, std::size_t cap) {
  std::size_t n = 0;
  bool has_high = false;
  std::uint16_t high = 0;
  unsigned char seq[6];
  for (std::size_t i = 0;; ++i) {
    const auto u = static_cast<std::uint16_t>(src[i]);
    // The NUL at the end lets a held high surrogate out alone, and adds nothing of its own.
    std::size_t len = put_utf16_unit(has_high, high, u, seq);
    if (u == 0) --len;
    if (cap - n <= len) return false;  // keeps room for the NUL
    std::memcpy(dst + n, seq, len);
    n += len;
    if (u == 0) break;
  }
  dst[n] = '\0';
  return true;
}

bool bytes_to_wide(const char* src, WideUnit* dst, std::size_t cap) {
  const auto* p = reinterpret_cast<const unsigned char*>(src);
  std::size_t n = 0;
  bool after_lone_high = false;  // the unit before came from a lone high surrogate's sequence
  for (std::size_t i = 0; p[i] != '\0'; i += sequence_length(p[i])) {
    const std::size_t len = sequence_length(p[i]);
    std::uint32_t c = 0;
    if (len == 0 || !decode_sequence(p + i, len, c)) return false;
    // A pair is written as one four-byte sequence: as two, the same name would have two forms.
    if (after_lone_high && is_low_surrogate(c)) return false;
    after_lone_high = is_high_surrogate(c);
    const std::size_t units = c >= 0x10000 ? 2 : 1;
    if (cap - n <= units) return false;
    if (units == 2) {
      dst[n++] = static_cast<WideUnit>(high_of(c));
      dst[n++] = static_cast<WideUnit>(low_of(c));
    } else {
      dst[n++] = static_cast<WideUnit>(c);
    }
  }
  if (cap == 0) return false;
  dst[n] = 0;
  return true;
}

std::size_t utf16_length(const char* s, std::size_t bytes) {
  std::size_t units = 0;
  for (std::size_t i = 0; i < bytes; ++i) {
    const auto b = static_cast<unsigned char>(s[i]);
    // Every byte but a continuation byte starts a unit; a four-byte sequence makes a pair.
    units += (b & 0xC0) == 0x80 ? 0 : sequence_length(b) == 4 ? 2 : 1;
  }
  return units;
}

ByteOrderMark mark_of(const unsigned char* head, std::size_t n, std::size_t& len) {
  for (const MarkBytes& m : kMarks) {
    if (n >= m.len && std::memcmp(head, m.bytes, m.len) == 0) {
      len = m.len;
      return m.mark;
    }
  }
  len = 0;
  return MARK_NONE;
}

const unsigned char* mark_bytes(ByteOrderMark mark, std::size_t& len) {
  for (const MarkBytes& m : kMarks) {
    if (m.mark == mark) {
      len = m.len;
      return m.bytes;
    }
  }
  len = 0;
  return nullptr;
}

std::size_t unit_size(ByteOrderMark mark) {
  switch (mark) {
    case MARK_UTF16LE:
    case MARK_UTF16BE:
      return 2;
    case MARK_UTF32LE:
    case MARK_UTF32BE:
      return 4;
    default:
      return 1;
  }
}

UnitDecoder decoder_for(ByteOrderMark mark) {
  return UnitDecoder{format_of(mark)};
}

UnitEncoder encoder_for(ByteOrderMark mark) {
  return UnitEncoder{format_of(mark)};
}

std::size_t decode_units(UnitDecoder& d, const unsigned char* src, std::size_t n,
                         unsigned char* dst) {
  std::size_t out = 0;
  for (std::size_t i = 0; i < n; ++i) {
    d.part[d.part_len++] = src[i];
    if (d.part_len < d.width) continue;
    d.part_len = 0;
    const std::uint32_t u = unit_at(d.part, d.width, d.big_endian);
    if (d.width == 2) {
      out += put_utf16_unit(d.has_high, d.high, u, dst + out);
    } else if (u <= 0x10FFFF && !is_high_surrogate(u) && !is_low_surrogate(u)) {
      out += put_wtf8(u, dst + out);
    } else {
      for (unsigned char b : d.part) out += put_wtf8(kByteEscape + b, dst + out);
    }
  }
  return out;
}

std::size_t decode_end(UnitDecoder& d, unsigned char* dst) {
  if (!d.has_high) return 0;
  d.has_high = false;
  return put_wtf8(d.high, dst);
}

std::size_t encode_units(UnitEncoder& e, const unsigned char* src, std::size_t n,
                         unsigned char* dst) {
  std::size_t out = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char b = src[i];
    if (e.have != 0) {
      if ((b & 0xC0) == 0x80) {
        e.seq[e.have++] = b;
        if (e.have < e.need) continue;
        e.have = 0;
        std::uint32_t c = 0;
        out += decode_sequence(e.seq, e.need, c) ? put_code_point(e, c, dst + out)
                                                 : put_bytes_as_units(e, e.seq, e.need, dst + out);
        continue;
      }
      out += encode_end(e, dst + out);  // cut short: its bytes go out as they are
    }
    const std::size_t len = sequence_length(b);
    if (len > 1) {
      e.seq[0] = b;
      e.have = 1;
      e.need = len;
    } else {
      out += put_unit(b, e.width, e.big_endian, dst + out);
    }
  }
  return out;
}

std::size_t encode_end(UnitEncoder& e, unsigned char* dst) {
  const std::size_t out = put_bytes_as_units(e, e.seq, e.have, dst);
  e.have = 0;
  return out;
}

}  // namespace veltrim
