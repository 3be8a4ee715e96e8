// The helpers that every instruction set's unit shares: bit positions, and the plain loops
// that stand in where a unit has no vector instruction for the job. Each unit includes this
// and gets a copy of its own: the units are compiled for different instruction sets, and one
// unit's copy of an inline function must not stand in for another's.
#pragma once

#include <cstddef>
#include <cstdint>

#include "convert/converter.h"
#include "fast/fast_path.h"

namespace veltrim {
namespace {  // a copy per unit

// Bit positions in a nonzero mask.
inline unsigned lowest_bit(std::uint64_t m) {
#if defined(__GNUC__)
  return static_cast<unsigned>(__builtin_ctzll(m));
#else
  unsigned n = 0;
  while (((m >> n) & 1) == 0) ++n;
  return n;
#endif
}

inline unsigned highest_bit(std::uint64_t m) {
#if defined(__GNUC__)
  return 63 - static_cast<unsigned>(__builtin_clzll(m));
#else
  unsigned n = 63;
  while ((m >> n) == 0) --n;
  return n;
#endif
}

inline unsigned bit_count(std::uint64_t m) {
#if defined(__GNUC__)
  return static_cast<unsigned>(__builtin_popcountll(m));
#else
  unsigned n = 0;
  for (; m != 0; m &= m - 1) ++n;
  return n;
#endif
}

// The plain loop: masks of p[0, n), n <= 64, on any processor; the bits from n on are 0.
inline void classify_plain(const unsigned char* p, std::size_t n, CharMasks& m) {
  m = CharMasks();
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char c = p[i];
    const std::uint64_t b = std::uint64_t{1} << i;
    if (c == ' ') m.space |= b;
    if (is_blank(c)) m.blank |= b;
    if (c == ',') m.comma |= b;
    if (c == '{') m.open |= b;
    if (c == '}') m.close |= b;
    if (c == ':') m.colon |= b;
    if (c == ';') m.semi |= b;
    if (c == '/') m.slash |= b;
    if (c == '*') m.star |= b;
  }
}

// Writes the bytes of p[0, 64) that `keep` selects, in order, those in `spaces` as a space;
// returns the end of what they fill. One byte per kept bit: the fallback of every unit
// without a vector compress.
inline unsigned char* write_kept_plain(const unsigned char* p, std::uint64_t spaces,
                                       std::uint64_t keep, unsigned char* q) {
  for (; keep != 0; keep &= keep - 1) {
    const unsigned i = lowest_bit(keep);
    *q++ = (spaces >> i) & 1 ? ' ' : p[i];
  }
  return q;
}

}  // namespace
}  // namespace veltrim
