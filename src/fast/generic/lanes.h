// Packing the kept bytes of a 16-byte lane with a byte shuffle from the table in masks.h,
// for the units that have one (SSSE3, and AVX2 in each of its two lanes).
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "fast/generic/masks.h"

namespace veltrim {
namespace {  // a copy per unit, as in masks.h

// The shuffle order that packs the kept bytes of a lane as two runs of 8: the low 8 bytes'
// (positions 0 to 7) in the low half, the high 8 bytes' (8 to 15) in the high half. `bits`
// selects them as keep does.
struct LaneOrder {
  std::uint64_t low;
  std::uint64_t high;
};
inline LaneOrder lane_order(unsigned bits) {
  constexpr std::uint64_t kUpper = 0x0808080808080808ULL;
  return LaneOrder{kPack.of[bits & 0xFF], kPack.of[(bits >> 8) & 0xFF] + kUpper};
}

// Writes a lane shuffled by lane_order(bits) to q: its low run, then its high run straight
// after; returns the end. Writes 16 bytes, however few it keeps.
inline unsigned char* store_lane(__m128i packed, unsigned bits, unsigned char* q) {
  _mm_storel_epi64(reinterpret_cast<__m128i*>(q), packed);
  q += kPack.count[bits & 0xFF];
  _mm_storel_epi64(reinterpret_cast<__m128i*>(q), _mm_unpackhi_epi64(packed, packed));
  return q + kPack.count[(bits >> 8) & 0xFF];
}

}  // namespace
}  // namespace veltrim
