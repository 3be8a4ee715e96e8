// The byte streams the conversion reads and writes: a source and a sink, each one way, and
// the block-buffered streams over them that give one-byte reads with a one-byte step back
// (with its transfer count) and writes of one or three bytes. Sources and sinks are the
// operating system's files (platform/native_file.h), the byte order mark's layer (text/), or
// memory in the tests.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>

namespace veltrim {

// Where bytes come from. The buffered streams call it once per block, never once per byte,
// so a virtual call costs nothing that matters here.
class Source {
 public:
  virtual ~Source() = default;
  // Reads up to `size` bytes; the count read, 0 at the end of the input, or -1 when the read
  // fails.
  virtual long read(unsigned char* dst, std::size_t size) = 0;
};

// Where bytes go.
class Sink {
 public:
  virtual ~Sink() = default;
  // Writes up to `size` bytes; the count written (possibly short), or -1 when the write fails.
  virtual long write(const unsigned char* src, std::size_t size) = 0;
  // Releases the sink; false when the system reports a failure (a lost delayed write).
  virtual bool close() = 0;
};

// Hands all `size` bytes to `sink`, finishing short writes. False when a write fails, and
// when one moves nothing (retried, it would loop for ever) or reports more than it was asked
// (it would skip bytes): a sink that breaks its contract has failed.
bool write_all(Sink& sink, const unsigned char* src, std::size_t size);

// Bytes moved per system call: 256 KiB takes a quarter of the calls of 64 KiB and of the
// rules that straddle a buffer's end, and both buffers still sit in a core's cache. Tests
// shrink the block of a stream to a few bytes to put its boundary at every position.
constexpr std::size_t kBlockSize = std::size_t{256} * 1024;

// Input stream: a block buffer refilled from `raw`, which never reports more than it was
// asked (the byte order mark's layer, which checks the file it reads). A failure is sticky;
// the end is the source's to keep: the byte order mark's layer reports it again on every read
// after it, so a terminal or pipe that offers more after an end is never read on.
struct InStream {
  Source* raw = nullptr;
  std::size_t block = kBlockSize;  // bytes asked of `raw` per refill, 1..kBlockSize
  std::size_t pos = 0;             // next byte to hand out
  std::size_t len = 0;             // bytes held in buf
  bool failed = false;
  unsigned char buf[kBlockSize];
};

// Room past the output block for bulk writers, which stop only where they run short of it;
// the block is still what each write to the file carries (out_flush_blocks).
constexpr std::size_t kOutSlack = 4096;

// Output stream: a block buffer emptied into `raw`. A failure is sticky: every later write
// transfers nothing.
struct OutStream {
  Sink* raw = nullptr;
  std::size_t block = kBlockSize;  // bytes held before a flush, 1..kBlockSize
  std::size_t len = 0;
  bool failed = false;
  unsigned char buf[kBlockSize + kOutSlack];
};

void in_attach(InStream& f, Source* raw, std::size_t block = kBlockSize);
void out_attach(OutStream& f, Sink* raw, std::size_t block = kBlockSize);

// Refills an exhausted buffer; false at end of input or on failure.
bool in_refill(InStream& f);

// Reads one byte into *dst and stores the count in *count: 1, or 0 at the end of input and
// after a failure, which `failed` tells apart. *dst is untouched unless a byte was read.
inline void in_read_byte(InStream& f, unsigned char* dst, std::uint32_t* count) {
  if (f.pos == f.len && !in_refill(f)) {
    *count = 0;
    return;
  }
  *dst = f.buf[f.pos++];
  *count = 1;
}

// Steps back over the byte read last, so that the next read returns it again. That byte is
// always still in the buffer: a refill keeps nothing of the block before, but the byte read
// after it is its first. So this works on pipes too, and never seeks the file.
inline void in_step_back(InStream& f) {
  assert(f.pos > 0 && "a byte was read since the last refill");
  --f.pos;
}

// Writes `size` bytes; false on failure, when nothing more reaches the file.
bool out_write_slow(OutStream& f, const unsigned char* src, std::size_t size);
inline bool out_write(OutStream& f, const unsigned char* src, std::size_t size) {
  if (f.failed || f.block - f.len < size) return out_write_slow(f, src, size);
  for (std::size_t i = 0; i < size; ++i) f.buf[f.len + i] = src[i];
  f.len += size;
  return true;
}

// Direct access to the buffers for bulk paths that move many bytes in one step: what is
// buffered and not yet read, and the room left in the output, the slack included. A bulk
// writer calls out_flush_blocks before it hands the stream back, and asks for room only
// after it succeeded: a failed stream has none to give.
inline const unsigned char* in_next(const InStream& f) {
  return f.buf + f.pos;
}
inline std::size_t in_available(const InStream& f) {
  return f.len - f.pos;
}
inline void in_consume(InStream& f, std::size_t n) {
  f.pos += n;
}
inline unsigned char* out_next(OutStream& f) {
  return f.buf + f.len;
}
inline std::size_t out_room(const OutStream& f) {
  assert(!f.failed && "asked after a successful out_flush_blocks, which fails on a failed stream");
  return f.block + kOutSlack - f.len;
}
inline void out_commit(OutStream& f, std::size_t n) {
  f.len += n;
}

// Writes out whole blocks while more than one block is buffered, so that the file receives
// the same writes as from out_write, which flushes a full block when the next byte comes;
// false on failure.
bool out_flush_blocks(OutStream& f);

// Hands everything buffered to the raw file; false on failure.
bool out_flush(OutStream& f);

// Flushes and closes the raw file; false if anything written was lost on the way.
bool out_close(OutStream& f);

}  // namespace veltrim
