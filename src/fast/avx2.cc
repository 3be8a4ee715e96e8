// The unit for AVX2 (with BMI1, BMI2, POPCNT and PCLMUL): masks 32 bytes at a time, blanks by
// one table shuffle, and kept bytes written 8 at a time by a byte shuffle from a table, in
// each 16-byte lane.
#include <immintrin.h>

#include "fast/generic/kernel.h"

namespace veltrim {
namespace {

// Byte i all ones where bit i of m is set.
inline __m256i bytes_of_bits(std::uint32_t m) {
  const __m256i spread = _mm256_shuffle_epi8(
      _mm256_set1_epi32(static_cast<int>(m)),
      _mm256_setr_epi64x(0, 0x0101010101010101, 0x0202020202020202, 0x0303030303030303));
  const __m256i select = _mm256_set1_epi64x(static_cast<long long>(0x8040201008040201ULL));
  return _mm256_cmpeq_epi8(_mm256_and_si256(spread, select), select);
}

// The blank table of masks.h in both lanes.
inline __m256i blank_table() {
  return _mm256_broadcastsi128_si256(
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(kBlankTable.at)));
}

struct Avx2 {
  static void classify(const unsigned char* p, CharMasks& m) {
    m = CharMasks{};
    for (unsigned h = 0; h < 2; ++h) {
      const __m256i v =
          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + std::size_t{32} * h));
      auto eq = [&v](unsigned char c) {
        return _mm256_cmpeq_epi8(v, _mm256_set1_epi8(static_cast<char>(c)));
      };
      auto bits = [h](__m256i x) {
        return static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(x)))
               << (32 * h);
      };
      add_masks(m, eq, bits, _mm256_cmpeq_epi8(_mm256_shuffle_epi8(blank_table(), v), v));
    }
  }
  static unsigned char* write_kept(const unsigned char* p, std::uint64_t spaces, std::uint64_t keep,
                                   unsigned char* q) {
    for (unsigned h = 0; h < 2; ++h) {
      __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + std::size_t{32} * h));
      // A kept byte that is a blank is always written as a space, so every blank becomes one;
      // only the '/' that closes a comment, which a space may stand in for too, needs the
      // bits spread out into bytes.
      const __m256i blank = _mm256_cmpeq_epi8(_mm256_shuffle_epi8(blank_table(), v), v);
      const auto space_bits = static_cast<std::uint32_t>(spaces >> (32 * h));
      const auto blank_bits = static_cast<std::uint32_t>(_mm256_movemask_epi8(blank));
      const __m256i spaced = (space_bits & ~blank_bits) != 0 ? bytes_of_bits(space_bits) : blank;
      v = _mm256_blendv_epi8(v, _mm256_set1_epi8(' '), spaced);
      // The shuffle works within each 16-byte lane, so one takes both: their positions are
      // lane-relative, 8 to 15 for the upper 8 bytes of each.
      const auto bits = static_cast<std::uint32_t>(keep >> (32 * h));
      const auto at = [bits](unsigned g) { return (bits >> (8 * g)) & 0xFF; };
      // Each order straight from the table into its place, and the upper 8 of each lane
      // moved up by 8 in one vector add.
      const auto order_of = [](unsigned g, unsigned g_high) {
        const __m128i low = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&kPack.of[g]));
        return _mm_castpd_si128(_mm_loadh_pd(_mm_castsi128_pd(low),
                                             reinterpret_cast<const double*>(&kPack.of[g_high])));
      };
      const __m256i upper = _mm256_setr_epi64x(0, 0x0808080808080808LL, 0, 0x0808080808080808LL);
      const __m256i order =
          _mm256_add_epi8(_mm256_inserti128_si256(_mm256_castsi128_si256(order_of(at(0), at(1))),
                                                  order_of(at(2), at(3)), 1),
                          upper);
      const __m256i packed = _mm256_shuffle_epi8(v, order);
      const __m128i low = _mm256_castsi256_si128(packed);
      const __m128i high = _mm256_extracti128_si256(packed, 1);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(q), low);
      q += kPack.count[at(0)];
      _mm_storel_epi64(reinterpret_cast<__m128i*>(q), _mm_unpackhi_epi64(low, low));
      q += kPack.count[at(1)];
      _mm_storel_epi64(reinterpret_cast<__m128i*>(q), high);
      q += kPack.count[at(2)];
      _mm_storel_epi64(reinterpret_cast<__m128i*>(q), _mm_unpackhi_epi64(high, high));
      q += kPack.count[at(3)];
    }
    return q;
  }
};

}  // namespace

// Constant-initialised: no code of the unit runs before the choice is made.
extern constexpr IsaUnit kAvx2Unit = unit_for<Avx2>();

}  // namespace veltrim
