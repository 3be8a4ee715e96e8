// In-memory sources and sinks for the unit tests, with knobs that shape and break their I/O.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "convert/converter.h"
#include "io/stream.h"

namespace veltrim::testing {

constexpr std::size_t kNever = static_cast<std::size_t>(-1);

// Streams on the heap, their buffers left unset as in the tool's static ones: zeroing
// 2 x 256 KiB for each of the tests' many small conversions would cost more than they do.
inline std::unique_ptr<InStream> new_in_stream() {
  return std::unique_ptr<InStream>(new InStream);
}
inline std::unique_ptr<OutStream> new_out_stream() {
  return std::unique_ptr<OutStream>(new OutStream);
}

// An input in memory.
class MemorySource final : public Source {
 public:
  explicit MemorySource(std::string bytes = {}) : data(std::move(bytes)) {}
  long read(unsigned char* dst, std::size_t size) override;

  std::string data;                   // what is read
  std::size_t pos = 0;                // read position
  std::size_t split_at = kNever;      // no single read crosses this offset
  std::size_t fail_read_at = kNever;  // reads deliver bytes up to here, then fail
  std::size_t fail_once_at = kNever;  // ... then one fails, and the later ones go on
  std::size_t over_read_at = kNever;  // reads from here on report one byte more than asked
};

// An output in memory.
class MemorySink final : public Sink {
 public:
  long write(const unsigned char* src, std::size_t size) override;
  bool close() override;

  std::string data;                    // what was written
  std::size_t fail_write_at = kNever;  // a write that would pass this size fails
  int fail_call = -1;                  // this write call (counted from 1) fails, and no other
  std::size_t max_write = kNever;      // larger writes come back short; 0: none moves a byte
  bool over_write = false;             // writes report one byte more than they moved
  bool fail_close = false;
  int write_calls = 0;
  bool closed = false;
};

// What a conversion over memory files produced.
struct Converted {
  std::string out;
  bool read_failed = false;
  bool write_ok = true;      // every write and the final close succeeded
  std::size_t read_pos = 0;  // how far the raw input was consumed
};

// Runs convert_sheet over `in` with the given stream blocks, then closes the output;
// `plain` keeps to the per-character path.
Converted run_convert(MemorySource in, std::size_t in_block = kBlockSize,
                      std::size_t out_block = kBlockSize, MemorySink out = MemorySink(),
                      bool plain = false);

// Just the output bytes, with full-size blocks.
std::string convert(const std::string& in);

// A converter over a memory input, for driving the scanner and the copy steps directly.
struct ScanFixture {
  explicit ScanFixture(const std::string& in, std::size_t block = kBlockSize);
  MemorySource in_raw;
  MemorySink out_raw;
  std::unique_ptr<InStream> in = new_in_stream();
  std::unique_ptr<OutStream> out = new_out_stream();
  ConverterState st;
  // The output written so far, flushed.
  std::string output();
};

}  // namespace veltrim::testing
