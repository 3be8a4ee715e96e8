// The bulk kernel in one copy per instruction set, and the choice among them. Each copy is
// a unit of its own (bulk_kernel_*.cc) compiled with its set's flags, so that the classifier
// is inlined into the kernel; the widest copy that the processor runs is chosen at start.
#pragma once

#include <cstddef>

#include "convert/byte_masks.h"

namespace veltrim {

// Where the bulk kernel stopped: the ends of the whole rules it converted.
struct BulkEnd {
  const unsigned char* in;
  unsigned char* out;
};

using BulkKernel = BulkEnd (*)(const unsigned char* in_begin, const unsigned char* in_end,
                               unsigned char* out_begin, unsigned char* out_end);
using Classify64 = void (*)(const unsigned char* p, ByteMasks& m);

// The kernel of the chosen width (see classifier_width).
BulkKernel bulk_kernel();

// One per unit. The plain loop and SSE2 ones are always built (SSE2 where the compiler
// targets it); the AVX2 and AVX-512 ones on x86-64 outside Windows, where GCC cannot align
// the stack for vectors wider than 16 bytes.
BulkEnd bulk_kernel_scalar(const unsigned char*, const unsigned char*, unsigned char*,
                           unsigned char*);
void classify64_scalar(const unsigned char* p, ByteMasks& m);
BulkEnd bulk_kernel_sse2(const unsigned char*, const unsigned char*, unsigned char*,
                         unsigned char*);
void classify64_sse2(const unsigned char* p, ByteMasks& m);
BulkEnd bulk_kernel_avx2(const unsigned char*, const unsigned char*, unsigned char*,
                         unsigned char*);
void classify64_avx2(const unsigned char* p, ByteMasks& m);
BulkEnd bulk_kernel_avx512(const unsigned char*, const unsigned char*, unsigned char*,
                           unsigned char*);
void classify64_avx512(const unsigned char* p, ByteMasks& m);

}  // namespace veltrim
