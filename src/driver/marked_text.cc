#include "driver/marked_text.h"

#include <algorithm>
#include <cstring>

#include "platform/win_names.h"

namespace veltrim {

namespace {

std::size_t put_unit(std::uint32_t u, bool big_endian, unsigned char* dst) {
  const auto lo = static_cast<unsigned char>(u & 0xFF);
  const auto hi = static_cast<unsigned char>(u >> 8);
  dst[0] = big_endian ? hi : lo;
  dst[1] = big_endian ? lo : hi;
  return 2;
}

// A code point as one code unit, or two for one past U+FFFF.
std::size_t put_utf16(std::uint32_t c, bool big_endian, unsigned char* dst) {
  if (c < 0x10000) return put_unit(c, big_endian, dst);
  put_unit(0xD800 + ((c - 0x10000) >> 10), big_endian, dst);
  return 2 + put_unit(0xDC00 + ((c - 0x10000) & 0x3FF), big_endian, dst + 2);
}

// Bytes in the sequence a lead byte starts; 0 for a byte that starts none.
std::size_t sequence_length(unsigned char b) {
  if (b < 0x80) return 1;
  if (b >= 0xC2 && b <= 0xDF) return 2;
  if ((b & 0xF0) == 0xE0) return 3;
  if (b >= 0xF0 && b <= 0xF4) return 4;
  return 0;
}

// Hands `size` bytes to `raw`, finishing short writes; a write that moves nothing fails.
bool write_all(RawFile& raw, const unsigned char* src, std::size_t size) {
  for (std::size_t done = 0; done < size;) {
    const long n = raw.write(src + done, size - done);
    if (n <= 0 || static_cast<std::size_t>(n) > size - done) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::size_t utf16_decode(Utf16Decoder& d, const unsigned char* src, std::size_t n,
                         unsigned char* dst) {
  std::size_t out = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (!d.has_byte) {
      d.byte = src[i];
      d.has_byte = true;
      continue;
    }
    d.has_byte = false;
    const std::uint32_t u = d.big_endian ? (std::uint32_t{d.byte} << 8 | src[i])
                                         : (std::uint32_t{src[i]} << 8 | d.byte);
    if (d.has_high) {
      d.has_high = false;
      if (is_low_surrogate(u)) {
        out += put_wtf8(0x10000 + ((d.high - 0xD800u) << 10) + (u - 0xDC00), dst + out);
        continue;
      }
      out += put_wtf8(d.high, dst + out);  // unpaired: kept as it is
    }
    if (is_high_surrogate(u)) {
      d.high = static_cast<std::uint16_t>(u);
      d.has_high = true;
      continue;
    }
    out += put_wtf8(u, dst + out);
  }
  return out;
}

std::size_t utf16_decode_end(Utf16Decoder& d, unsigned char* dst) {
  if (!d.has_high) return 0;
  d.has_high = false;
  return put_wtf8(d.high, dst);
}

std::size_t utf16_encode(Utf16Encoder& e, const unsigned char* src, std::size_t n,
                         unsigned char* dst) {
  std::size_t out = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char b = src[i];
    if (e.have != 0) {
      if ((b & 0xC0) == 0x80) {
        e.seq[e.have++] = b;
        if (e.have < e.need) continue;
        std::uint32_t c = e.seq[0] & (0x7Fu >> e.need);
        for (std::size_t k = 1; k < e.need; ++k) c = (c << 6) | (e.seq[k] & 0x3Fu);
        e.have = 0;
        out += put_utf16(c, e.big_endian, dst + out);
        continue;
      }
      out += utf16_encode_end(e, dst + out);  // cut short: its bytes go out as they are
    }
    const std::size_t len = sequence_length(b);
    if (len > 1) {
      e.seq[0] = b;
      e.have = 1;
      e.need = len;
    } else {
      out += put_unit(b, e.big_endian, dst + out);
    }
  }
  return out;
}

std::size_t utf16_encode_end(Utf16Encoder& e, unsigned char* dst) {
  std::size_t out = 0;
  for (std::size_t k = 0; k < e.have; ++k) out += put_unit(e.seq[k], e.big_endian, dst + out);
  e.have = 0;
  return out;
}

void MarkedInput::attach(RawFile& raw) {
  raw_ = &raw;
  started_ = ended_ = failed_ = false;
  mark_ = MARK_NONE;
  head_len_ = head_pos_ = text_len_ = text_pos_ = 0;
  decoder_ = Utf16Decoder{};
}

bool MarkedInput::odd_last_byte(unsigned char* b) const {
  if (!ended_ || !decoder_.has_byte) return false;
  *b = decoder_.byte;
  return true;
}

// Reads up to three bytes, as many reads as a pipe needs, and tells the mark from them.
bool MarkedInput::read_head() {
  while (head_len_ < sizeof head_ && !ended_) {
    const long n = raw_->read(head_ + head_len_, sizeof head_ - head_len_);
    if (n < 0 || static_cast<std::size_t>(n) > sizeof head_ - head_len_) return false;
    if (n == 0) ended_ = true;
    head_len_ += static_cast<std::size_t>(n);
  }
  static constexpr unsigned char kUtf8[] = {0xEF, 0xBB, 0xBF};
  if (head_len_ == 3 && std::memcmp(head_, kUtf8, 3) == 0) {
    mark_ = MARK_UTF8;
    head_pos_ = 3;
  } else if (head_len_ >= 2 && ((head_[0] == 0xFF && head_[1] == 0xFE) ||
                                (head_[0] == 0xFE && head_[1] == 0xFF))) {
    mark_ = head_[0] == 0xFF ? MARK_UTF16LE : MARK_UTF16BE;
    decoder_.big_endian = mark_ == MARK_UTF16BE;
    text_len_ = utf16_decode(decoder_, head_ + 2, head_len_ - 2, text_);
    head_pos_ = head_len_;
  }
  return true;
}

// Decodes the next block of `raw` into text_; false when the read fails.
bool MarkedInput::decode_more() {
  text_pos_ = 0;
  if (ended_) {
    text_len_ = utf16_decode_end(decoder_, text_);
    return true;
  }
  const long n = raw_->read(units_, kUnits);
  if (n < 0 || static_cast<std::size_t>(n) > kUnits) return false;
  if (n == 0) {
    ended_ = true;
    text_len_ = utf16_decode_end(decoder_, text_);
  } else {
    text_len_ = utf16_decode(decoder_, units_, static_cast<std::size_t>(n), text_);
  }
  return true;
}

long MarkedInput::read(unsigned char* dst, std::size_t size) {
  if (failed_) return -1;
  if (!started_) {
    started_ = true;
    if (!read_head()) {
      failed_ = true;
      return -1;
    }
  }
  if (mark_ == MARK_UTF16LE || mark_ == MARK_UTF16BE) {
    while (text_pos_ == text_len_) {
      if (ended_ && !decoder_.has_high) return 0;
      if (!decode_more()) {
        failed_ = true;
        return -1;
      }
    }
    const std::size_t k = std::min(size, text_len_ - text_pos_);
    std::memcpy(dst, text_ + text_pos_, k);
    text_pos_ += k;
    return static_cast<long>(k);
  }
  // Bytes: what is left of the head, then straight from `raw`.
  std::size_t k = std::min(size, head_len_ - head_pos_);
  std::memcpy(dst, head_ + head_pos_, k);
  head_pos_ += k;
  if (k == size || ended_) return static_cast<long>(k);
  const long n = raw_->read(dst + k, size - k);
  if (n < 0 || static_cast<std::size_t>(n) > size - k) {
    failed_ = true;
    return k != 0 ? static_cast<long>(k) : -1;  // the failure comes with the next read
  }
  if (n == 0) ended_ = true;
  return static_cast<long>(k) + n;
}

void MarkedOutput::attach(RawFile& raw, const MarkedInput& input) {
  raw_ = &raw;
  input_ = &input;
  started_ = utf16_ = false;
}

// The mark goes first, before the first byte of the conversion or at the close of an empty one.
bool MarkedOutput::start() {
  started_ = true;
  const TextMark mark = input_->mark();
  utf16_ = mark == MARK_UTF16LE || mark == MARK_UTF16BE;
  encoder_ = Utf16Encoder{};
  encoder_.big_endian = mark == MARK_UTF16BE;
  static constexpr unsigned char kMarks[][3] = {{}, {0xEF, 0xBB, 0xBF}, {0xFF, 0xFE}, {0xFE, 0xFF}};
  static constexpr std::size_t kMarkLen[] = {0, 3, 2, 2};
  return write_all(*raw_, kMarks[mark], kMarkLen[mark]);
}

long MarkedOutput::write(const unsigned char* src, std::size_t size) {
  if (!started_ && !start()) return -1;
  if (!utf16_) return raw_->write(src, size);
  for (std::size_t done = 0; done < size;) {
    const std::size_t step = std::min(size - done, kChunk);
    if (!write_all(*raw_, units_, utf16_encode(encoder_, src + done, step, units_))) return -1;
    done += step;
  }
  return static_cast<long>(size);
}

bool MarkedOutput::close() {
  bool ok = started_ || start();
  if (ok && utf16_) {
    std::size_t n = utf16_encode_end(encoder_, units_);
    if (input_->odd_last_byte(units_ + n)) ++n;
    ok = write_all(*raw_, units_, n);
  }
  const bool closed = raw_->close();
  return ok && closed;
}

}  // namespace veltrim
