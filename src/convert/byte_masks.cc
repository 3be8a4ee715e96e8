// The choice of vector width: the widest copy of the bulk kernel (and of its classifier)
// that this build has and this processor runs, chosen once at start.
#include "convert/byte_masks.h"

#include "convert/bulk_kernels.h"
#include "convert/classify_block.h"

namespace veltrim {

namespace {

struct Variant {
  int width;
  BulkKernel kernel;
  Classify64 classify;
};

// The widest first.
const Variant kVariants[] = {
#if defined(VELTRIM_WIDE_VECTORS)
    {64, bulk_kernel_avx512, classify64_avx512},
    {32, bulk_kernel_avx2, classify64_avx2},
#endif
#if defined(__SSE2__)
    {16, bulk_kernel_sse2, classify64_sse2},
#endif
    {0, bulk_kernel_scalar, classify64_scalar},
};

bool runs_here(int width) {
#if defined(VELTRIM_WIDE_VECTORS)
  __builtin_cpu_init();
  const bool bmi = __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
  if (width == 64) {
    return bmi && __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi2");
  }
  if (width == 32) return bmi && __builtin_cpu_supports("avx2");
#endif
  (void)width;
  return true;
}

const Variant* widest() {
  for (const Variant& v : kVariants) {
    if (runs_here(v.width)) return &v;
  }
  return &kVariants[sizeof kVariants / sizeof kVariants[0] - 1];
}

const Variant* current = widest();

}  // namespace

BulkKernel bulk_kernel() {
  return current->kernel;
}

void classify_bytes(const unsigned char* p, std::size_t n, ByteMasks& m) {
  if (n == 64) {
    current->classify(p, m);
  } else {
    classify_scalar(p, n, m);
  }
}

int classifier_width() {
  return current->width;
}

bool use_classifier_width(int width) {
  for (const Variant& v : kVariants) {
    if (v.width == width && runs_here(width)) {
      current = &v;
      return true;
    }
  }
  return false;
}

}  // namespace veltrim
