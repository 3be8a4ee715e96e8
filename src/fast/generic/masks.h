// The helpers that every instruction set's unit shares: bit positions, and the plain loops
// that stand in where a unit has no vector instruction for the job. Each unit includes this
// and gets a copy of its own: the units are compiled for different instruction sets, and one
// unit's copy of an inline function must not stand in for another's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "convert/blanks.h"
#include "fast/fast_path.h"

// Branch hints, for the ways that most blocks do not take (a block's edge, a comment), and
// for keeping a helper out of line or in line.
#if defined(__GNUC__)
#define VELTRIM_LIKELY(x) __builtin_expect(!!(x), 1)
#define VELTRIM_UNLIKELY(x) __builtin_expect(!!(x), 0)
#define VELTRIM_NOINLINE __attribute__((noinline))
#define VELTRIM_INLINE inline __attribute__((always_inline))
#else
#define VELTRIM_NOINLINE
#define VELTRIM_INLINE inline
#define VELTRIM_LIKELY(x) (x)
#define VELTRIM_UNLIKELY(x) (x)
#endif

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

inline unsigned bit_count(std::uint64_t m) {
#if defined(__GNUC__) && (defined(__POPCNT__) || !(defined(__x86_64__) || defined(__i386__)))
  return static_cast<unsigned>(__builtin_popcountll(m));
#elif defined(__GNUC__)
  // Without POPCNT the builtin is a call into the compiler's library, once for every rule
  // end in the block loop: the same count in a few instructions in line.
  m -= (m >> 1) & 0x5555555555555555ULL;
  m = (m & 0x3333333333333333ULL) + ((m >> 2) & 0x3333333333333333ULL);
  m = (m + (m >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
  return static_cast<unsigned>((m * 0x0101010101010101ULL) >> 56);
#else
  unsigned n = 0;
  for (; m != 0; m &= m - 1) ++n;
  return n;
#endif
}

// Adds the masks of one vector of bytes, for the units with vectors: eq(c) compares every
// byte with c, bits(x) makes a comparison the mask bits of its bytes in place in the block,
// and `blank` is the comparison for the blanks, which each unit makes its own way.
template <class Eq, class Bits, class Compared>
inline void add_masks(CharMasks& m, Eq eq, Bits bits, Compared blank) {
  m.space |= bits(eq(' '));
  m.blank |= bits(blank);
  m.comma |= bits(eq(','));
  m.open |= bits(eq('{'));
  m.close |= bits(eq('}'));
  m.colon |= bits(eq(':'));
  m.semi |= bits(eq(';'));
  m.slash |= bits(eq('/'));
  m.star |= bits(eq('*'));
}

// The plain loop: masks of p[0, n), n <= 64, on any processor; the bits from n on are 0.
inline void classify_plain(const unsigned char* p, std::size_t n, CharMasks& m) {
  m = CharMasks{};
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

// For each 8-bit mask, the positions of its set bits, lowest first, one per byte: the order in
// which a byte shuffle packs the bytes that the mask keeps.
struct PackTable {
  std::uint64_t of[256];
  unsigned char count[256];  // the bits set: a processor without POPCNT would call for it
};
constexpr PackTable make_pack_table() {
  PackTable t{};
  for (unsigned m = 0; m < 256; ++m) {
    unsigned k = 0;
    for (unsigned i = 0; i < 8; ++i) {
      if ((m >> i) & 1) t.of[m] |= std::uint64_t{i} << (8 * k++);
    }
    t.count[m] = static_cast<unsigned char>(k);
  }
  return t;
}
constexpr PackTable kPack = make_pack_table();

// For each 8-bit mask, a shift network that packs the bytes it keeps toward byte 0 of a
// 64-bit word, in three stages: each kept byte moves down by the number of bytes dropped
// before it, by 1, 2 and 4 places in turn as that number's bits say. Moving the low bits
// first, two kept bytes never land on one place, so each stage just overwrites the places it
// moves bytes into (`to`, all ones in their bytes); what it leaves behind is overwritten
// later or lies past the kept bytes.
struct PackNet {
  std::uint64_t to[3][256];
};
constexpr PackNet make_pack_net() {
  PackNet t{};
  for (unsigned m = 0; m < 256; ++m) {
    unsigned place[8] = {};
    unsigned dropped[8] = {};
    for (unsigned i = 0, d = 0; i < 8; ++i) {
      place[i] = i;
      dropped[i] = d;
      d += ((m >> i) & 1) ^ 1;
    }
    for (unsigned stage = 0; stage < 3; ++stage) {
      for (unsigned i = 0; i < 8; ++i) {
        if (((m >> i) & 1) == 0 || ((dropped[i] >> stage) & 1) == 0) continue;
        place[i] -= 1u << stage;
        t.to[stage][m] |= std::uint64_t{0xFF} << (8 * place[i]);
      }
    }
  }
  return t;
}
constexpr PackNet kPackNet = make_pack_net();

// The kept bytes of the 8 in w (byte 0 lowest), packed toward byte 0; past them, garbage.
inline std::uint64_t pack_word(std::uint64_t w, unsigned bits) {
  for (unsigned stage = 0; stage < 3; ++stage) {
    w ^= ((w >> (8u << stage)) ^ w) & kPackNet.to[stage][bits];
  }
  return w;
}

// For each 8-bit mask, its bits spread out into bytes: all ones in byte i where bit i is set.
struct ByteMasks {
  std::uint64_t of[256];
};
constexpr ByteMasks make_byte_masks() {
  ByteMasks t{};
  for (unsigned m = 0; m < 256; ++m) {
    for (unsigned i = 0; i < 8; ++i) {
      if ((m >> i) & 1) t.of[m] |= std::uint64_t{0xFF} << (8 * i);
    }
  }
  return t;
}
constexpr ByteMasks kByteMasks = make_byte_masks();

// As write_kept_plain, 8 bytes at a time in a 64-bit word: the spaces put in by a mask, the
// kept bytes packed by the shift network, without a branch per group. Byte 0 is the word's
// lowest, as on x86; a block kept whole with no spaces (as much of a minified sheet is) is
// one move.
inline unsigned char* write_kept_words(const unsigned char* p, std::uint64_t spaces,
                                       std::uint64_t keep, unsigned char* q) {
  if (keep == ~std::uint64_t{0} && spaces == 0) {
    std::memcpy(q, p, 64);
    return q + 64;
  }
  constexpr std::uint64_t kSpaces = 0x2020202020202020ULL;
  for (unsigned g = 0; g < 8; ++g, p += 8) {
    const unsigned bits = static_cast<unsigned>(keep >> (8 * g)) & 0xFF;
    const unsigned space_bits = static_cast<unsigned>(spaces >> (8 * g)) & 0xFF;
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    w ^= (w ^ kSpaces) & kByteMasks.of[space_bits];
    w = pack_word(w, bits);
    std::memcpy(q, &w, 8);
    q += kPack.count[bits];
  }
  return q;
}

}  // namespace
}  // namespace veltrim
