// An output for the benchmarks that takes every write and keeps only the count, so that a
// figure is the conversion's and not that of growing a string.
#pragma once

#include <cstddef>

#include "io/stream.h"

namespace veltrim::bench {

class CountingSink final : public Sink {
 public:
  long write(const unsigned char*, std::size_t size) override {
    written += size;
    return static_cast<long>(size);
  }
  bool close() override { return true; }
  std::size_t written = 0;
};

}  // namespace veltrim::bench
