// The byte order mark's streams: what stands between the files and the conversion, which only
// ever sees bytes. A UTF-8 mark is set aside and written back first; UTF-16 and UTF-32 are
// read as WTF-8 (text/codec.h) and written back in the same encoding after the same mark.
// Only ASCII characters steer the conversion, and every other character is copied or dropped
// whole, so this is the conversion over the code units themselves.
#pragma once

#include <cstddef>

#include "io/stream.h"
#include "text/codec.h"

namespace veltrim {

class MarkStreams {
 public:
  MarkStreams() = default;
  MarkStreams(const MarkStreams&) = delete;
  MarkStreams& operator=(const MarkStreams&) = delete;

  // Puts the streams between the file read and the file written, which stay the caller's;
  // closing output() closes `file_out` too. Every read of `file_in` passes through here, and
  // one that reports more than it was asked is taken for the failure it is.
  void attach(Source& file_in, Sink& file_out);
  // What follows the mark, UTF-16 and UTF-32 as WTF-8. The first read takes the first bytes
  // of the file to look for a mark.
  Source& input() { return input_; }
  // The input's mark first, then what is written, in the input's encoding, and at the close
  // the input's cut last code unit, if any, as it was.
  Sink& output() { return output_; }

 private:
  class Input final : public Source {
   public:
    explicit Input(MarkStreams& s) : s_(s) {}
    long read(unsigned char* dst, std::size_t size) override;

   private:
    MarkStreams& s_;
  };
  class Output final : public Sink {
   public:
    explicit Output(MarkStreams& s) : s_(s) {}
    long write(const unsigned char* src, std::size_t size) override;
    bool close() override;

   private:
    MarkStreams& s_;
  };

  long read_file(unsigned char* dst, std::size_t size);
  bool read_head();
  bool decode_more();
  long read_text(unsigned char* dst, std::size_t size);
  long read_bytes(unsigned char* dst, std::size_t size);
  bool start_output();

  Input input_{*this};
  Output output_{*this};
  Source* file_in_ = nullptr;
  Sink* file_out_ = nullptr;
  ByteOrderMark mark_ = MARK_NONE;

  // The input side.
  bool started_ = false;
  bool ended_ = false;   // the file has reported its end
  bool failed_ = false;  // a read of the file failed: every later read fails too
  unsigned char head_[kMarkMax] = {};
  std::size_t head_len_ = 0;
  std::size_t head_pos_ = 0;
  UnitDecoder decoder_;
  static constexpr std::size_t kUnits = std::size_t{64} * 1024;
  unsigned char units_[kUnits] = {};
  unsigned char text_[decoded_max(kUnits)] = {};
  std::size_t text_len_ = 0;
  std::size_t text_pos_ = 0;

  // The output side.
  bool output_started_ = false;
  UnitEncoder encoder_;
  static constexpr std::size_t kChunk = std::size_t{64} * 1024;
  unsigned char encoded_[encoded_max(kChunk)] = {};
};

}  // namespace veltrim
