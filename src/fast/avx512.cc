// The unit for AVX-512BW and VBMI2 (with BMI1, BMI2, POPCNT and PCLMUL): masks 64 bytes in
// one compare each, blanks by one table shuffle, and kept bytes written by one byte compress.
// A processor with AVX-512BW but not VBMI2 runs the AVX2 unit.
#include <immintrin.h>

#include "fast/generic/kernel.h"

namespace veltrim {
namespace {

struct Avx512 {
  static void classify(const unsigned char* p, CharMasks& m) {
    const __m512i v = _mm512_loadu_si512(p);
    auto eq = [&v](unsigned char c) -> std::uint64_t {
      return _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(static_cast<char>(c)));
    };
    const __m512i blanks =
        _mm512_broadcast_i32x4(_mm_loadu_si128(reinterpret_cast<const __m128i*>(kBlankTable.at)));
    m = CharMasks{};
    add_masks(
        m, eq, [](std::uint64_t bits) { return bits; },
        _mm512_cmpeq_epi8_mask(_mm512_shuffle_epi8(blanks, v), v));
  }
  static unsigned char* write_kept(const unsigned char* p, std::uint64_t spaces, std::uint64_t keep,
                                   unsigned char* q) {
    const __m512i v = _mm512_loadu_si512(p);
    const __m512i text = _mm512_mask_blend_epi8(spaces, v, _mm512_set1_epi8(' '));
    _mm512_storeu_si512(q, _mm512_maskz_compress_epi8(keep, text));
    return q + bit_count(keep);
  }
};

}  // namespace

extern const IsaUnit kAvx512Unit = unit_for<Avx512>();

}  // namespace veltrim
