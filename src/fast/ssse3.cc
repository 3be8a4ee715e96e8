// The unit for SSSE3, which nearly every x86-64 processor without AVX2 has: masks 16 bytes at
// a time, blanks by one table shuffle, and kept bytes written 8 at a time by a byte shuffle
// from a table (lanes.h), as the AVX2 unit does in each of its lanes.
#include <tmmintrin.h>

#include "fast/generic/kernel.h"
#include "fast/generic/lanes.h"

namespace veltrim {
namespace {

inline __m128i load16(const unsigned char* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Byte i all ones where bit i of m is set, for 16 bits.
inline __m128i bytes_of_bits(unsigned m) {
  const __m128i spread = _mm_shuffle_epi8(_mm_cvtsi32_si128(static_cast<int>(m)),
                                          _mm_set_epi64x(0x0101010101010101, 0));
  const __m128i select = _mm_set1_epi64x(static_cast<long long>(0x8040201008040201ULL));
  return _mm_cmpeq_epi8(_mm_and_si128(spread, select), select);
}

struct Ssse3 {
  static void classify(const unsigned char* p, CharMasks& m) {
    m = CharMasks();
    const __m128i blanks = load16(kBlankTable.at);
    for (unsigned i = 0; i < 4; ++i) {
      const __m128i v = load16(p + std::size_t{16} * i);
      auto eq = [&v](unsigned char c) {
        return _mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(c)));
      };
      auto bits = [i](__m128i x) {
        return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(x))) << (16 * i);
      };
      add_masks(m, eq, bits, _mm_cmpeq_epi8(_mm_shuffle_epi8(blanks, v), v));
    }
  }
  static unsigned char* write_kept(const unsigned char* p, std::uint64_t spaces, std::uint64_t keep,
                                   unsigned char* q) {
    if ((keep & ~spaces) == ~std::uint64_t{0}) {  // kept whole, as much of a minified sheet is
      std::memcpy(q, p, 64);
      return q + 64;
    }
    const __m128i space = _mm_set1_epi8(' ');
    for (unsigned i = 0; i < 4; ++i) {
      __m128i v = load16(p + std::size_t{16} * i);
      const auto space_bits = static_cast<unsigned>(spaces >> (16 * i)) & 0xFFFF;
      if (space_bits != 0) {
        const __m128i at = bytes_of_bits(space_bits);
        v = _mm_or_si128(_mm_and_si128(at, space), _mm_andnot_si128(at, v));
      }
      const auto bits = static_cast<unsigned>(keep >> (16 * i)) & 0xFFFF;
      const LaneOrder order = lane_order(bits);
      q = store_lane(_mm_shuffle_epi8(v, _mm_set_epi64x(static_cast<long long>(order.high),
                                                        static_cast<long long>(order.low))),
                     bits, q);
    }
    return q;
  }
};

}  // namespace

extern const IsaUnit kSsse3Unit = unit_for<Ssse3>();

}  // namespace veltrim
