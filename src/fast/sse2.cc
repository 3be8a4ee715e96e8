// The unit for SSE2, which every x86-64 processor has: masks 16 bytes at a time. SSE2 has no
// byte shuffle: kept bytes are packed 8 at a time by the table in masks.h.
#include <emmintrin.h>

#include "fast/generic/kernel.h"

namespace veltrim {
namespace {

// Byte i all ones where bit i of m is set, for 16 bits.
inline __m128i bytes_of_bits(unsigned m) {
  __m128i x = _mm_cvtsi32_si128(static_cast<int>(m));
  x = _mm_unpacklo_epi8(x, x);  // each mask byte twice
  x = _mm_unpacklo_epi16(x, x);
  x = _mm_unpacklo_epi32(x, x);  // the low one 8 times, then the high one
  const __m128i select = _mm_set1_epi64x(static_cast<long long>(0x8040201008040201ULL));
  return _mm_cmpeq_epi8(_mm_and_si128(x, select), select);
}

struct Sse2 {
  static void classify(const unsigned char* p, CharMasks& m) {
    m = CharMasks();
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
    if (spaces == 0) return write_kept_packed(p, keep, q);
    alignas(16) unsigned char text[64];
    const __m128i space = _mm_set1_epi8(' ');
    for (unsigned i = 0; i < 4; ++i) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + std::size_t{16} * i));
      const __m128i at = bytes_of_bits(static_cast<unsigned>(spaces >> (16 * i)) & 0xFFFF);
      _mm_store_si128(reinterpret_cast<__m128i*>(text + std::size_t{16} * i),
                      _mm_or_si128(_mm_and_si128(at, space), _mm_andnot_si128(at, v)));
    }
    return write_kept_packed(text, keep, q);
  }
};

}  // namespace

extern const IsaUnit kSse2Unit = unit_for<Sse2>();

}  // namespace veltrim
