// The bulk kernel for the instruction set the whole build targets: the plain loop, and SSE2
// where the target has it (every x86-64 processor does).
#include "convert/bulk_kernel.h"

namespace veltrim {

BulkEnd bulk_kernel_scalar(const unsigned char* in_begin, const unsigned char* in_end,
                           unsigned char* out_begin, unsigned char* out_end) {
  return convert_whole_rules<ScalarClassifier>(in_begin, in_end, out_begin, out_end);
}

void classify64_scalar(const unsigned char* p, ByteMasks& m) {
  ScalarClassifier::classify64(p, m);
}

#if defined(__SSE2__)
BulkEnd bulk_kernel_sse2(const unsigned char* in_begin, const unsigned char* in_end,
                         unsigned char* out_begin, unsigned char* out_end) {
  return convert_whole_rules<VectorClassifier>(in_begin, in_end, out_begin, out_end);
}

void classify64_sse2(const unsigned char* p, ByteMasks& m) {
  VectorClassifier::classify64(p, m);
}
#endif

}  // namespace veltrim
