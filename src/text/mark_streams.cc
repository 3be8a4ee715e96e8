#include "text/mark_streams.h"

#include <algorithm>
#include <cstring>

namespace veltrim {

void MarkStreams::attach(Source& file_in, Sink& file_out) {
  file_in_ = &file_in;
  file_out_ = &file_out;
  mark_ = MARK_NONE;
  started_ = ended_ = failed_ = output_started_ = false;
  head_len_ = head_pos_ = text_len_ = text_pos_ = 0;
  decoder_ = UnitDecoder{};
}

// Every read of the file: the count, 0 at its end (which stays), -1 when it fails or breaks
// its contract by reporting more than it was asked, which would run past the buffer.
long MarkStreams::read_file(unsigned char* dst, std::size_t size) {
  const long n = file_in_->read(dst, size);
  if (n < 0 || static_cast<std::size_t>(n) > size) return -1;
  if (n == 0) ended_ = true;
  return n;
}

// Reads up to kMarkMax bytes, as many reads as a pipe needs, and tells the mark from them.
bool MarkStreams::read_head() {
  while (head_len_ < sizeof head_ && !ended_) {
    const long n = read_file(head_ + head_len_, sizeof head_ - head_len_);
    if (n < 0) return false;
    head_len_ += static_cast<std::size_t>(n);
  }
  std::size_t mark_len = 0;
  mark_ = mark_of(head_, head_len_, mark_len);
  head_pos_ = mark_len;
  if (unit_size(mark_) > 1) {
    decoder_ = decoder_for(mark_);
    text_len_ = decode_units(decoder_, head_ + mark_len, head_len_ - mark_len, text_);
    head_pos_ = head_len_;
  }
  return true;
}

// Decodes the next block of the file into text_; false when the read fails.
bool MarkStreams::decode_more() {
  text_pos_ = 0;
  const long n = ended_ ? 0 : read_file(units_, kUnits);
  if (n < 0) return false;
  text_len_ = n == 0 ? decode_end(decoder_, text_)
                     : decode_units(decoder_, units_, static_cast<std::size_t>(n), text_);
  return true;
}

long MarkStreams::read_text(unsigned char* dst, std::size_t size) {
  while (text_pos_ == text_len_) {
    // Nothing is held at the end: decode_more lets a held high surrogate out with the end it
    // reads, and a head cut by the end is too short to hold one.
    if (ended_) return 0;
    if (!decode_more()) return -1;
  }
  const std::size_t k = std::min(size, text_len_ - text_pos_);
  std::memcpy(dst, text_ + text_pos_, k);
  text_pos_ += k;
  return static_cast<long>(k);
}

// Bytes: what is left of the head after a UTF-8 mark or none, then straight from the file.
long MarkStreams::read_bytes(unsigned char* dst, std::size_t size) {
  const std::size_t k = std::min(size, head_len_ - head_pos_);
  std::memcpy(dst, head_ + head_pos_, k);
  head_pos_ += k;
  if (k == size || ended_) return static_cast<long>(k);
  const long n = read_file(dst + k, size - k);
  if (n < 0) {
    failed_ = true;
    return k != 0 ? static_cast<long>(k) : -1;  // the failure comes with the next read
  }
  return static_cast<long>(k) + n;
}

long MarkStreams::Input::read(unsigned char* dst, std::size_t size) {
  MarkStreams& s = s_;
  if (s.failed_) return -1;
  if (!s.started_) {
    s.started_ = true;
    if (!s.read_head()) {
      s.failed_ = true;
      return -1;
    }
  }
  const long n = unit_size(s.mark_) > 1 ? s.read_text(dst, size) : s.read_bytes(dst, size);
  if (n < 0) s.failed_ = true;
  return n;
}

// The mark goes first, before the first byte of the conversion or at the close of an empty
// one. Tried once: a run whose mark failed has failed, whatever the writes after it do.
bool MarkStreams::start_output() {
  output_started_ = true;
  encoder_ = encoder_for(mark_);
  std::size_t len = 0;
  const unsigned char* const mark = mark_bytes(mark_, len);
  return write_all(*file_out_, mark, len);
}

long MarkStreams::Output::write(const unsigned char* src, std::size_t size) {
  MarkStreams& s = s_;
  if (!s.output_started_ && !s.start_output()) return -1;
  if (unit_size(s.mark_) == 1) return s.file_out_->write(src, size);
  for (std::size_t done = 0; done < size;) {
    const std::size_t step = std::min(size - done, kChunk);
    const std::size_t n = encode_units(s.encoder_, src + done, step, s.encoded_);
    if (!write_all(*s.file_out_, s.encoded_, n)) return -1;
    done += step;
  }
  return static_cast<long>(size);
}

bool MarkStreams::Output::close() {
  MarkStreams& s = s_;
  bool ok = s.output_started_ || s.start_output();
  if (ok && unit_size(s.mark_) > 1) {
    std::size_t n = encode_end(s.encoder_, s.encoded_);
    // A last code unit that the input cut short goes back as it was, after everything.
    if (s.ended_) {
      std::memcpy(s.encoded_ + n, s.decoder_.part, s.decoder_.part_len);
      n += s.decoder_.part_len;
    }
    ok = write_all(*s.file_out_, s.encoded_, n);
  }
  const bool closed = s.file_out_->close();
  return ok && closed;
}

}  // namespace veltrim
