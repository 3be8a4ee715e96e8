// The unit for SSE2, which every x86-64 processor has: masks 16 bytes at a time. SSE2 has no
// byte shuffle: kept bytes are packed 8 at a time in 64-bit words by the shift network in
// masks.h, on the scalar side of the processor, while the vector side makes the masks.
#include <emmintrin.h>

#include "fast/generic/kernel.h"

namespace veltrim {
namespace {

struct Sse2 {
  static void classify(const unsigned char* p, CharMasks& m) {
    m = CharMasks{};
    for (unsigned i = 0; i < 4; ++i) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + std::size_t{16} * i));
      auto eq = [&v](unsigned char c) {
        return _mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(c)));
      };
      auto bits = [i](__m128i x) {
        return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(x))) << (16 * i);
      };
      __m128i blank = eq(kBlanks[0]);
      for (unsigned char c : kBlanks) blank = _mm_or_si128(blank, eq(c));
      add_masks(m, eq, bits, blank);
    }
  }
  static unsigned char* write_kept(const unsigned char* p, std::uint64_t spaces, std::uint64_t keep,
                                   unsigned char* q) {
    return write_kept_words(p, spaces, keep, q);
  }
};

}  // namespace

// Constant-initialised: no code of the unit runs before the choice is made.
extern constexpr IsaUnit kSse2Unit = unit_for<Sse2>();

}  // namespace veltrim
