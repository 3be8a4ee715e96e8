// The bulk kernel for AVX-512BW and VBMI2 (with BMI1, BMI2 and POPCNT). CMake compiles this
// unit, and only this one, for that instruction set; it runs only where the processor has it.
// VBMI2's byte compress is what writes whole planned blocks; a processor with AVX-512BW
// alone runs the AVX2 copy, which the wider classifier barely beat without the plans.
#include "convert/bulk_kernel.h"

namespace veltrim {

BulkEnd bulk_kernel_avx512(const unsigned char* in_begin, const unsigned char* in_end,
                           unsigned char* out_begin, unsigned char* out_end) {
  return convert_whole_rules<VectorClassifier>(in_begin, in_end, out_begin, out_end);
}

void classify64_avx512(const unsigned char* p, ByteMasks& m) {
  VectorClassifier::classify64(p, m);
}

}  // namespace veltrim
