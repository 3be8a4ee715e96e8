// The buffered streams over every source and sink: the files, the byte order mark's layer and
// the tests' memory.
#include "io/stream.h"

#include <cstring>

// Under AddressSanitizer the bytes of the input buffer past what the last read filled are
// marked unreadable, so that a bulk reader that strays past the input is caught on every
// short read, not only where a test fills the whole buffer. Elsewhere the marks are nothing.
#if defined(__has_include)
#if __has_include(<sanitizer/asan_interface.h>)
#include <sanitizer/asan_interface.h>
#endif
#endif
#ifndef ASAN_POISON_MEMORY_REGION
#define ASAN_POISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#define ASAN_UNPOISON_MEMORY_REGION(addr, size) ((void)(addr), (void)(size))
#endif

namespace veltrim {

bool write_all(Sink& sink, const unsigned char* src, std::size_t size) {
  for (std::size_t done = 0; done < size;) {
    const long n = sink.write(src + done, size - done);
    if (n <= 0 || static_cast<std::size_t>(n) > size - done) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

namespace {

// The stream's own failure is sticky: every later write transfers nothing.
bool flush_part(OutStream& f, const unsigned char* src, std::size_t size) {
  if (write_all(*f.raw, src, size)) return true;
  f.failed = true;
  return false;
}

}  // namespace

// The block is kBlockSize for the tool and a few bytes in the tests: never 0, which would
// read and write nothing for ever, nor more than the buffer holds.
void in_attach(InStream& f, Source* raw, std::size_t block) {
  assert(block >= 1 && block <= kBlockSize);
  f.raw = raw;
  f.block = block;
  f.pos = f.len = 0;
  f.failed = false;
}

void out_attach(OutStream& f, Sink* raw, std::size_t block) {
  assert(block >= 1 && block <= kBlockSize);
  f.raw = raw;
  f.block = block;
  f.len = 0;
  f.failed = false;
}

bool in_refill(InStream& f) {
  if (f.failed) return false;
  ASAN_UNPOISON_MEMORY_REGION(f.buf, f.block);
  const long n = f.raw->read(f.buf, f.block);
  assert(n <= static_cast<long>(f.block) && "the source keeps to what it was asked");
  if (n < 0) {
    f.failed = true;
    return false;
  }
  ASAN_POISON_MEMORY_REGION(f.buf + n, kBlockSize - static_cast<std::size_t>(n));
  if (n == 0) return false;
  f.pos = 0;
  f.len = static_cast<std::size_t>(n);
  return true;
}

bool out_flush(OutStream& f) {
  if (f.failed || !flush_part(f, f.buf, f.len)) return false;
  f.len = 0;
  return true;
}

bool out_flush_blocks(OutStream& f) {
  if (f.failed) return false;
  std::size_t done = 0;
  for (; f.len - done > f.block; done += f.block) {
    if (!flush_part(f, f.buf + done, f.block)) return false;
  }
  if (done != 0) {
    std::memmove(f.buf, f.buf + done, f.len - done);
    f.len -= done;
  }
  return true;
}

bool out_write_slow(OutStream& f, const unsigned char* src, std::size_t size) {
  if (f.failed) return false;
  while (size > 0) {
    if (f.len == f.block && !out_flush(f)) return false;
    std::size_t room = f.block - f.len;
    std::size_t step = size < room ? size : room;
    std::memcpy(f.buf + f.len, src, step);
    f.len += step;
    src += step;
    size -= step;
  }
  return true;
}

bool out_close(OutStream& f) {
  bool flushed = out_flush(f);
  bool closed = f.raw->close();
  return flushed && closed;
}

}  // namespace veltrim
