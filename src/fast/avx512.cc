// The unit for AVX-512BW and VBMI2 (with BMI1, BMI2, POPCNT and PCLMUL): masks 64 bytes in
// one compare each, blanks by one table shuffle, and kept bytes written by one byte compress.
// A processor with AVX-512BW but not VBMI2 runs the AVX2 unit.
#include <immintrin.h>

#include "fast/generic/kernel.h"

namespace veltrim {
namespace {

// Bytes 4i to 4i + 3 of the blank table of masks.h, for a constant with the table in each
// 16-byte lane. (A broadcast of the 16 bytes says the same, but GCC 12 takes the undefined
// vector it starts from for an uninitialised variable when optimising for size.)
constexpr int blank_word(std::size_t i) {
  return static_cast<int>(static_cast<std::uint32_t>(kBlankTable.at[4 * i]) |
                          static_cast<std::uint32_t>(kBlankTable.at[4 * i + 1]) << 8 |
                          static_cast<std::uint32_t>(kBlankTable.at[4 * i + 2]) << 16 |
                          static_cast<std::uint32_t>(kBlankTable.at[4 * i + 3]) << 24);
}

struct Avx512 {
  static void classify(const unsigned char* p, CharMasks& m) {
    const __m512i v = _mm512_loadu_si512(p);
    auto eq = [&v](unsigned char c) -> std::uint64_t {
      return _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(static_cast<char>(c)));
    };
    const __m512i blanks =
        _mm512_set4_epi32(blank_word(3), blank_word(2), blank_word(1), blank_word(0));
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

// Constant-initialised: no code of the unit runs before the choice is made.
extern constexpr IsaUnit kAvx512Unit = unit_for<Avx512>();

}  // namespace veltrim
