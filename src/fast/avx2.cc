// The unit for AVX2 (with BMI1, BMI2, POPCNT and PCLMUL): masks 32 bytes at a time, blanks by
// one table shuffle, and kept bytes written 8 at a time by a byte shuffle from a table, in
// each 16-byte lane (lanes.h).
#include <immintrin.h>

#include "fast/generic/kernel.h"
#include "fast/generic/lanes.h"

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
    m = CharMasks();
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
      // lane-relative.
      const auto bits = static_cast<std::uint32_t>(keep >> (32 * h));
      const LaneOrder first = lane_order(bits & 0xFFFF);
      const LaneOrder second = lane_order(bits >> 16);
      const __m256i packed = _mm256_shuffle_epi8(
          v, _mm256_setr_epi64x(
                 static_cast<long long>(first.low), static_cast<long long>(first.high),
                 static_cast<long long>(second.low), static_cast<long long>(second.high)));
      q = store_lane(_mm256_castsi256_si128(packed), bits & 0xFFFF, q);
      q = store_lane(_mm256_extracti128_si256(packed, 1), bits >> 16, q);
    }
    return q;
  }
};

}  // namespace

extern const IsaUnit kAvx2Unit = unit_for<Avx2>();

}  // namespace veltrim
