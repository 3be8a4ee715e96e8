// A model of planning several blocks at once: each block's masks one 64-bit lane of a vector
// (eight with AVX-512, four with AVX2), the planner's word logic run on all lanes together,
// and the state that ties a block to the one before found by scans over the lanes. The tool
// does not use it: it is here to be checked bit for bit against plan_block and timed against
// it on the same masks, so that the figures say whether the kernel should plan this way.
//
//   veltrim_lane_plan check                 every lane against the block-by-block plan
//   veltrim_lane_plan time [MB=20] [RUNS=7] GB/s of both on every shape, and how often a
//                                           group falls back
//
// Built three times from this one file: veltrim_lane_plan for AVX-512 (eight lanes) and
// veltrim_lane_plan_avx2 (four lanes), each with the flags of the unit it stands beside, so
// that the block-by-block plan it is timed against is compiled as in that unit; and
// veltrim_lane_plan_vpclmul, the AVX-512 one with VPCLMULQDQ besides (which every processor
// with AVX-512 VBMI2 has), where one carry-less multiply per four lanes gives the lanes'
// brace parities instead of six shifts and XORs.
//
// How a group is planned. Of the state a block carries to the next, each part is either set by
// the block or passed through it, and so can be scanned over the lanes once every lane knows
// what it sets:
// - inside a rule: while the braces alternate, each brace flips it, so a lane starts inside
//   when the braces of the lanes before it, and the group's start, add up odd: a prefix XOR
//   of each lane's brace parity;
// - in a value, in the middle of a part: the last mark of a lane (colon, semicolon, brace)
//   sets the first, its last non-blank byte the second, else the lane passes on what it got;
// - blanks before the next byte: always the lane's last byte.
// The "last set" scans are last_before itself, the planner's own fill over bits, run over the
// lanes' bits (bit k: lane k) instead of a block's bytes; with one bit a lane they are a few
// scalar instructions, so each scan is a move of a vector compare's mask into a general
// register, last_before, and a move back. The order: the brace parities and the inside scan,
// the marks and the value scan, the plain bytes and the middle scan, then every lane's plan
// with its state known.
//
// A lane that involves a comment (one carried in, or a '/' before a '*' or in the last byte),
// whose braces do not alternate, or that has a '}' in a property name (which the plan
// declines) falls back: its group is left to plan_block block by block. (Two variants keep
// the lanes before it, whose states are right, and leave that lane and those after it, whose
// states it decides.)
// GCC 12's AVX-512 intrinsics start many results from an undefined vector, which it takes for
// an uninitialised variable when optimising for size; the warning is about its own headers.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fast/generic/block_plan.h"
#include "stylesheet_gen.h"

namespace veltrim {
namespace {

using block_plan_detail::last_before;
using block_plan_detail::prefix_xor;

constexpr std::uint64_t kLastByte = std::uint64_t{1} << 63;

// ---------------------------------------------------------------------------------------------
// The lane units: vector primitives over 64-bit lanes, one unit per instruction set. Masks of
// lanes come back as the bits of an integer, bit k for lane k. The three-input helpers are
// one instruction with AVX-512 (vpternlogq) and two or three without.

// One mask of every block in a group, block k in lane k, in the vectors of unit U.
template <class U>
struct Lanes {
  typename U::V blank, comma, open, close, colon, semi, slash, star;
};

// Bit i of each lane: the parity of its bits at i and below, in six shifts and XORs.
template <class U>
typename U::V prefix_xor_by_shifts(typename U::V a) {
  a = U::xor_(a, U::template shl<1>(a));
  a = U::xor_(a, U::template shl<2>(a));
  a = U::xor_(a, U::template shl<4>(a));
  a = U::xor_(a, U::template shl<8>(a));
  a = U::xor_(a, U::template shl<16>(a));
  return U::xor_(a, U::template shl<32>(a));
}

#if defined(__AVX512F__) && defined(__AVX512BW__)

struct Avx512 {
  using V = __m512i;
  static constexpr unsigned kLanes = 8;
#if defined(__VPCLMULQDQ__)
  static constexpr const char* kName = "AVX-512 with VPCLMULQDQ, 8 lanes";
#else
  static constexpr const char* kName = "AVX-512, 8 lanes";
#endif

  static V splat(std::uint64_t x) {
    return _mm512_set1_epi64(static_cast<long long>(x));
  }
  static V and_(V a, V b) {
    return _mm512_and_si512(a, b);
  }
  static V or_(V a, V b) {
    return _mm512_or_si512(a, b);
  }
  static V xor_(V a, V b) {
    return _mm512_xor_si512(a, b);
  }
  // a & ~b
  static V andnot(V a, V b) {
    return _mm512_andnot_si512(b, a);
  }
  static V add(V a, V b) {
    return _mm512_add_epi64(a, b);
  }
  template <unsigned kBits>
  static V shl(V a) {
    return _mm512_slli_epi64(a, kBits);
  }
  template <unsigned kBits>
  static V shr(V a) {
    return _mm512_srli_epi64(a, kBits);
  }
  // Truth tables over the operands a = 0xF0, b = 0xCC, c = 0xAA.
  static V or3(V a, V b, V c) {
    return _mm512_ternarylogic_epi64(a, b, c, 0xFE);
  }
  // s ? a : b
  static V mux(V s, V a, V b) {
    return _mm512_ternarylogic_epi64(s, a, b, 0xCA);
  }
  static V or_andnot(V a, V b, V c) {
    return _mm512_ternarylogic_epi64(a, b, c, 0xF4);
  }
  static V and_andnot(V a, V b, V c) {
    return _mm512_ternarylogic_epi64(a, b, c, 0x40);
  }
  static V or_and_not(V a, V b, V c) {
    return _mm512_ternarylogic_epi64(a, b, c, 0x54);
  }
  static V nor(V a, V b) {
    return _mm512_ternarylogic_epi64(a, b, b, 0x03);
  }
  // a | ~b
  static V or_not(V a, V b) {
    return _mm512_ternarylogic_epi64(a, b, b, 0xF3);
  }
  static V not_(V a) {
    return _mm512_ternarylogic_epi64(a, a, a, 0x55);
  }

  static unsigned test(V a, V b) {
    return _mm512_test_epi64_mask(a, b);
  }
  static unsigned top(V a) {
    return _mm512_cmplt_epi64_mask(a, _mm512_setzero_si512());
  }
  static unsigned above(V a, V b) {
    return _mm512_cmpgt_epu64_mask(a, b);
  }
  static unsigned not_all(V a) {
    return _mm512_cmpneq_epu64_mask(a, splat(~std::uint64_t{0}));
  }
  static V lanes_of(std::uint64_t bits) {
    return _mm512_maskz_set1_epi64(static_cast<__mmask8>(bits), -1);
  }
  static V ones_of(std::uint64_t bits) {
    return _mm512_maskz_set1_epi64(static_cast<__mmask8>(bits), 1);
  }

  static V prefix_xor(V a) {
#if defined(__VPCLMULQDQ__)
    // A carry-less multiply by all ones, as block_plan.h does for one word: the even lanes'
    // products, then the odd ones', each in the low half of its 128 bits.
    const V all = splat(~std::uint64_t{0});
    return _mm512_unpacklo_epi64(_mm512_clmulepi64_epi128(a, all, 0x00),
                                 _mm512_clmulepi64_epi128(a, all, 0x01));
#else
    return prefix_xor_by_shifts<Avx512>(a);
#endif
  }

  // The eight masks after `space` stand in a row of 64 bytes in each CharMasks: one row a
  // block is turned into one row a mask by three rounds of two-input shuffles, 24 in all.
  // (Written out: with the rows in arrays GCC kept them in memory.)
  static V row(const CharMasks* m, unsigned k) {
    return _mm512_loadu_si512(reinterpret_cast<const char*>(m + k) + offsetof(CharMasks, blank));
  }
  // Masks 0+odd and 4+odd of four blocks (even, even+1 in a; 2 more in b), then 2+odd, 6+odd.
  static V pick_low(V a, V b) {
    return _mm512_permutex2var_epi64(a, _mm512_set_epi64(13, 12, 5, 4, 9, 8, 1, 0), b);
  }
  static V pick_high(V a, V b) {
    return _mm512_permutex2var_epi64(a, _mm512_set_epi64(15, 14, 7, 6, 11, 10, 3, 2), b);
  }
  static void load(const CharMasks* m, Lanes<Avx512>& l) {
    const V r0 = row(m, 0), r1 = row(m, 1), r2 = row(m, 2), r3 = row(m, 3);
    const V r4 = row(m, 4), r5 = row(m, 5), r6 = row(m, 6), r7 = row(m, 7);
    // Two blocks side by side: masks 0, 2, 4, 6 (e) and 1, 3, 5, 7 (o).
    const V e01 = _mm512_unpacklo_epi64(r0, r1), o01 = _mm512_unpackhi_epi64(r0, r1);
    const V e23 = _mm512_unpacklo_epi64(r2, r3), o23 = _mm512_unpackhi_epi64(r2, r3);
    const V e45 = _mm512_unpacklo_epi64(r4, r5), o45 = _mm512_unpackhi_epi64(r4, r5);
    const V e67 = _mm512_unpacklo_epi64(r6, r7), o67 = _mm512_unpackhi_epi64(r6, r7);
    // Four blocks: two masks each, the first in the low half.
    const V m04a = pick_low(e01, e23), m26a = pick_high(e01, e23);
    const V m15a = pick_low(o01, o23), m37a = pick_high(o01, o23);
    const V m04b = pick_low(e45, e67), m26b = pick_high(e45, e67);
    const V m15b = pick_low(o45, o67), m37b = pick_high(o45, o67);
    // Eight blocks: the low halves of a and b, or the high ones.
    l.blank = _mm512_shuffle_i64x2(m04a, m04b, 0x44);
    l.colon = _mm512_shuffle_i64x2(m04a, m04b, 0xEE);
    l.comma = _mm512_shuffle_i64x2(m15a, m15b, 0x44);
    l.semi = _mm512_shuffle_i64x2(m15a, m15b, 0xEE);
    l.open = _mm512_shuffle_i64x2(m26a, m26b, 0x44);
    l.slash = _mm512_shuffle_i64x2(m26a, m26b, 0xEE);
    l.close = _mm512_shuffle_i64x2(m37a, m37b, 0x44);
    l.star = _mm512_shuffle_i64x2(m37a, m37b, 0xEE);
  }
  static void store(std::uint64_t* p, V a) {
    _mm512_storeu_si512(p, a);
  }
};
using Unit = Avx512;

#elif defined(__AVX2__)

struct Avx2 {
  using V = __m256i;
  static constexpr unsigned kLanes = 4;
  static constexpr const char* kName = "AVX2, 4 lanes";

  static V splat(std::uint64_t x) { return _mm256_set1_epi64x(static_cast<long long>(x)); }
  static V and_(V a, V b) { return _mm256_and_si256(a, b); }
  static V or_(V a, V b) { return _mm256_or_si256(a, b); }
  static V xor_(V a, V b) { return _mm256_xor_si256(a, b); }
  // a & ~b
  static V andnot(V a, V b) { return _mm256_andnot_si256(b, a); }
  static V add(V a, V b) { return _mm256_add_epi64(a, b); }
  static V not_(V a) { return _mm256_xor_si256(a, splat(~std::uint64_t{0})); }
  template <unsigned kBits>
  static V shl(V a) {
    return _mm256_slli_epi64(a, kBits);
  }
  template <unsigned kBits>
  static V shr(V a) {
    return _mm256_srli_epi64(a, kBits);
  }
  static V or3(V a, V b, V c) { return or_(or_(a, b), c); }
  // s ? a : b
  static V mux(V s, V a, V b) { return xor_(b, and_(xor_(a, b), s)); }
  static V or_andnot(V a, V b, V c) { return or_(a, andnot(b, c)); }
  static V and_andnot(V a, V b, V c) { return andnot(and_(a, b), c); }
  static V or_and_not(V a, V b, V c) { return andnot(or_(a, b), c); }
  static V nor(V a, V b) { return not_(or_(a, b)); }
  // a | ~b
  static V or_not(V a, V b) { return not_(_mm256_andnot_si256(a, b)); }

  // The sign bits of the four lanes.
  static unsigned signs(V a) {
    return static_cast<unsigned>(_mm256_movemask_pd(_mm256_castsi256_pd(a)));
  }
  static unsigned test(V a, V b) {
    return signs(_mm256_cmpeq_epi64(and_(a, b), _mm256_setzero_si256())) ^ 15u;
  }
  static unsigned top(V a) { return signs(a); }
  // Unsigned: both flipped at the top bit, then the signed compare.
  static unsigned above(V a, V b) {
    const V flip = splat(kLastByte);
    return signs(_mm256_cmpgt_epi64(xor_(a, flip), xor_(b, flip)));
  }
  static unsigned not_all(V a) {
    return signs(_mm256_cmpeq_epi64(a, splat(~std::uint64_t{0}))) ^ 15u;
  }
  // All ones in the lanes of each 4-bit mask, from a table: AVX2 has no mask registers.
  struct LaneTable {
    alignas(32) std::uint64_t of[16][4];
  };
  static constexpr LaneTable make_lane_table() {
    LaneTable t{};
    for (unsigned bits = 0; bits < 16; ++bits) {
      for (unsigned k = 0; k < 4; ++k) t.of[bits][k] = (bits >> k) & 1 ? ~std::uint64_t{0} : 0;
    }
    return t;
  }
  static V lanes_of(std::uint64_t bits) {
    static constexpr LaneTable kTable = make_lane_table();
    return _mm256_load_si256(reinterpret_cast<const V*>(kTable.of[bits & 15]));
  }
  static V ones_of(std::uint64_t bits) { return shr<63>(lanes_of(bits)); }

  static V prefix_xor(V a) { return prefix_xor_by_shifts<Avx2>(a); }

  // Masks f and f + 1 of blocks 0 and 2 in one vector, of 1 and 3 in another (16 bytes
  // loaded into each half); one unpack of the two gives mask f of the four blocks, the other
  // mask f + 1.
  static __m128i pair(const CharMasks* m, unsigned k, unsigned f) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(
        reinterpret_cast<const char*>(m + k) + offsetof(CharMasks, blank) + std::size_t{8} * f));
  }
  static void load_pair(const CharMasks* m, unsigned f, V& first, V& second) {
    const V even = _mm256_inserti128_si256(_mm256_castsi128_si256(pair(m, 0, f)), pair(m, 2, f), 1);
    const V odd = _mm256_inserti128_si256(_mm256_castsi128_si256(pair(m, 1, f)), pair(m, 3, f), 1);
    first = _mm256_unpacklo_epi64(even, odd);
    second = _mm256_unpackhi_epi64(even, odd);
  }
  static void load(const CharMasks* m, Lanes<Avx2>& l) {
    load_pair(m, 0, l.blank, l.comma);
    load_pair(m, 2, l.open, l.close);
    load_pair(m, 4, l.colon, l.semi);
    load_pair(m, 6, l.slash, l.star);
  }
  static void store(std::uint64_t* p, V a) { _mm256_storeu_si256(reinterpret_cast<V*>(p), a); }
};
using Unit = Avx2;

#else
#error "the lane model needs AVX2 or AVX-512BW"
#endif

static_assert(offsetof(CharMasks, star) - offsetof(CharMasks, blank) == std::size_t{7} * 8,
              "the units load the eight masks from blank to star as one row");

constexpr std::size_t kLanes = Unit::kLanes;
using V = Unit::V;

// ---------------------------------------------------------------------------------------------
// The plan of a group, written once over the unit's primitives.

// What the plans of a group's lanes write, as plan_block's BlockPlan, one lane a block.
struct GroupPlan {
  alignas(64) std::uint64_t keep[kLanes];
  alignas(64) std::uint64_t spaces[kLanes];
  alignas(64) std::uint64_t ends[kLanes];
  unsigned space_first;  // bit k: lane k's
};

// last_before of block_plan.h in every lane: bit i the bit of `value` at the last byte
// before i that is in `at`, else the lane's `first` (0 or 1).
inline V last_before_lanes(V value, V at, V first) {
  const V inherit = Unit::andnot(Unit::splat(~std::uint64_t{1}), Unit::shl<1>(at));
  const V from = Unit::or_(Unit::shl<1>(value), first);
  const V sum = Unit::add(inherit, Unit::shl<1>(from));
  return Unit::or_andnot(from, inherit, sum);  // from | fill
}

// What a group's plan needs that does not depend on the state before it. The timed loop
// makes it a group ahead, as the kernel makes each block's masks a block ahead: a group's way
// from its loads to its stores is long, and the processor overlaps only as many groups as its
// window holds, so that what does not wait for the group before is better off that way.
struct Ahead {
  Lanes<Unit> l;
  V braces;
  V parity;                  // of the braces at and before each byte of each lane
  V others;                  // the marks but colons: semicolons, braces
  std::uint64_t odd_before;  // bit k: the braces of the lanes before lane k add up odd
  unsigned comments;         // lanes with a '/' before a '*' or in the last byte
  unsigned some_text;        // lanes with a byte that is not a blank
  unsigned blank_last;       // lanes whose last byte is a blank
};

inline void look_ahead(const CharMasks* m, Ahead& a) {
  using U = Unit;
  U::load(m, a.l);
  a.comments = U::test(a.l.slash, U::or_(U::shr<1>(a.l.star), U::splat(kLastByte)));
  a.braces = U::or_(a.l.open, a.l.close);
  a.parity = U::prefix_xor(a.braces);
  a.others = U::or_(a.l.semi, a.braces);
  a.odd_before = prefix_xor(U::top(a.parity)) << 1;
  a.some_text = U::not_all(a.l.blank);
  a.blank_last = U::top(a.l.blank);
}

// What a lane starts with: bit k of each word is lane k's; bit kLanes is the state after the
// group.
struct LaneStates {
  std::uint64_t inside, value, middle, blanks;
};

// Plans the group of kLanes blocks that `a` was made from, for a machine in state c. Returns
// how many of its lanes, from the first, are planned in `out` exactly as plan_block would plan
// them, and moves c past them; the rest are for plan_block, from c. kPartial: keep the lanes
// before the first that falls back; else all or none (then, with a comment, none is planned
// at all).
template <bool kPartial>
unsigned plan_ahead(const Ahead& a, Carry& c, GroupPlan& out) {
  using U = Unit;
  const Lanes<Unit>& l = a.l;
  // Lanes that involve comments, as plan_block finds them first: most groups have none.
  const unsigned comments = a.comments | unsigned(c.comment);
  if (VELTRIM_UNLIKELY(comments != 0) && (!kPartial || (comments & 1))) return 0;

  // Inside a rule: each lane flips what it got as often as it has braces.
  LaneStates in;
  in.inside = a.odd_before ^ (0 - c.inside);
  const V inside = U::xor_(U::shl<1>(a.parity), U::lanes_of(in.inside));
  const unsigned unpaired = U::test(a.braces, U::xor_(inside, l.close));

  // In a value: a lane's last mark sets it (to 1 when that is a colon), else it passes on.
  // The marks are disjoint, so the last is a colon when the colons, as a number, are the
  // greater.
  const V colon = U::and_(l.colon, inside);
  const V marks = U::or_(colon, a.others);
  in.value = last_before(U::above(colon, a.others), U::test(marks, marks), c.value);
  const V value = last_before_lanes(colon, marks, U::ones_of(in.value));

  // In the middle of a part: a lane's last non-blank byte sets it (to 1 when plain).
  const V selector_ends = U::or_and_not(l.comma, l.open, inside);
  // colon & property | semi & value | close | selector_ends; part_ends lies within non_blank.
  const V part_ends = U::or3(selector_ends, U::mux(value, l.semi, colon), l.close);
  const V plain = U::nor(part_ends, l.blank);
  in.middle = last_before(U::above(plain, part_ends), a.some_text, c.middle);
  const V non_blank = U::not_(l.blank);
  const V middle = last_before_lanes(plain, non_blank, U::ones_of(in.middle));
  // A '}' in a property name, which plan_block declines.
  const unsigned plain_close = U::test(l.close, U::and_andnot(inside, middle, value));

  // Blanks before byte 0: the lane before ended in one.
  in.blanks = (std::uint64_t{a.blank_last} << 1) | c.blanks;
  const V after_blank = U::or_(U::shl<1>(l.blank), U::ones_of(in.blanks));
  const V spaced = U::andnot(U::and_andnot(after_blank, middle, selector_ends), l.blank);
  const V spaces = U::shr<1>(spaced);
  U::store(out.keep, U::or_not(spaces, l.blank));
  U::store(out.spaces, spaces);
  U::store(out.ends, l.close);
  out.space_first = U::test(spaced, U::splat(1));

  // Each lane's state is right while every lane before it is planned: the first that is not
  // ends the lanes planned here.
  const unsigned falls_back = comments | unpaired | plain_close;
  const unsigned n = falls_back == 0 ? kLanes : lowest_bit(falls_back);
  if (!kPartial && n < kLanes) return 0;
  if (n > 0) {
    c.inside = (in.inside >> n) & 1;
    c.value = (in.value >> n) & 1;
    c.middle = (in.middle >> n) & 1;
    c.blanks = (in.blanks >> n) & 1;
    c.comment = 0;
    c.star = 0;
  }
  return n;
}

// The same for the group at m, made here.
template <bool kPartial>
unsigned plan_lanes(const CharMasks* m, Carry& c, GroupPlan& out) {
  Ahead a;
  look_ahead(m, a);
  return plan_ahead<kPartial>(a, c, out);
}

// ---------------------------------------------------------------------------------------------
// The inputs: masks of whole blocks, and where the plan declines a block, the state the
// byte-by-byte machine leaves after it, so that the block loop can go on from there.

// The copy machine's state after the 64 bytes at p, byte by byte (end: the end of the input,
// for the byte after a '/'). Blanks are those before the next byte, comments left out, as the
// plan carries them. A "/*" cut by the block's end leaves the '*' to the next block, which
// takes it for comment text: a "/*/" there would close the comment early, and no benchmark
// shape has one.
MachineState step_block(const unsigned char* p, const unsigned char* end, MachineState s) {
  for (const unsigned char* x = p; x < p + 64; ++x) {
    const unsigned char ch = *x;
    if (s.comment) {
      s.comment = !(s.star && ch == '/');
      s.star = s.comment && ch == '*';
      continue;
    }
    if (ch == '/' && x + 1 < end && x[1] == '*') {
      s.comment = true;
      s.star = false;
      ++x;
      continue;
    }
    if (is_blank_byte(ch)) {
      s.blanks = true;
      continue;
    }
    bool ends = false;  // the character ends the part
    if (s.part == IN_SELECTOR) {
      ends = ch == ',' || ch == '{';
      if (ch == '{') s.part = IN_PROPERTY;
    } else if (s.part == IN_PROPERTY) {
      ends = ch == ':' || (ch == '}' && !s.middle);
      if (ends) s.part = ch == ':' ? IN_VALUE : IN_SELECTOR;
    } else {
      ends = ch == ';' || ch == '}';
      if (ends) s.part = ch == ';' ? IN_PROPERTY : IN_SELECTOR;
    }
    s.middle = !ends;
    s.blanks = false;
  }
  return s;
}

struct Input {
  std::string name;
  std::string text;              // whole blocks
  std::vector<CharMasks> masks;  // one a block
  std::vector<Carry> resume;     // after each block the plan declines: the machine's state
  std::size_t blocks() const { return masks.size(); }
};

// Masks every block once, and runs the block-by-block plan over them to find the blocks it
// declines and the state after each.
Input prepare(const std::string& name, std::string text) {
  Input in;
  in.name = name;
  text.resize(text.size() / 64 * 64);
  in.text = std::move(text);
  const std::size_t n = in.text.size() / 64;
  const auto* bytes = reinterpret_cast<const unsigned char*>(in.text.data());
  in.masks.resize(n);
  in.resume.resize(n);
  Carry c;
  for (std::size_t b = 0; b < n; ++b) {
    classify_plain(bytes + 64 * b, 64, in.masks[b]);
    BlockPlan plan;
    if (!plan_block(in.masks[b], c, plan)) {
      c = carry_of(step_block(bytes + 64 * b, bytes + in.text.size(), state_of(c)));
      in.resume[b] = c;
    }
  }
  return in;
}

// ---------------------------------------------------------------------------------------------
// The block loops that are timed: each takes every block's plan into `sink`, as the writes
// would take it. Each is flattened, with everything it calls in line, as in the kernel's block
// loop: left to itself GCC makes plan_block, which this file calls from several places, a
// call, and the loop then carries its state through memory.

#if defined(__GNUC__)
#define LANE_PLAN_LOOP __attribute__((noinline, flatten))
#else
#define LANE_PLAN_LOOP
#endif

inline void take(std::uint64_t& sink, std::uint64_t keep, std::uint64_t spaces, std::uint64_t ends,
                 std::uint64_t space_first) {
  sink += keep + spaces + ends + space_first;
}

// One block by plan_block, or where it declines, the machine's state after it.
inline void plan_one(const CharMasks& m, const Carry& resume, Carry& c, std::uint64_t& sink) {
  BlockPlan plan;
  if (VELTRIM_UNLIKELY(!plan_block(m, c, plan))) {
    c = resume;
    return;
  }
  take(sink, plan.keep, plan.spaces, plan.ends, bit_of(plan.space_first));
}

LANE_PLAN_LOOP std::uint64_t run_blocks(const Input& in) {
  std::uint64_t sink = 0;
  Carry c;
  for (std::size_t b = 0; b < in.blocks(); ++b) plan_one(in.masks[b], in.resume[b], c, sink);
  return sink;
}

// The state as one word, bit by bit, for the call into the blocks that fell back: in and out
// in registers, where the lanes' loop keeps it. Passed by reference, it went through memory
// on the way from group to group, and the AVX-512 loop with VPCLMULQDQ ran a quarter slower.
inline std::uint64_t packed(const Carry& c) {
  return c.inside | c.value << 1 | c.middle << 2 | c.blanks << 3 | c.comment << 4 | c.star << 5;
}
inline Carry unpacked(std::uint64_t word) {
  Carry c;
  c.inside = word & 1;
  c.value = (word >> 1) & 1;
  c.middle = (word >> 2) & 1;
  c.blanks = (word >> 3) & 1;
  c.comment = (word >> 4) & 1;
  c.star = (word >> 5) & 1;
  return c;
}
struct StateAndSink {
  std::uint64_t state;
  std::uint64_t sink;
};

// Blocks [from, to) by plan_block: the lanes that fell back. Out of line, so that the lanes'
// loop is not compiled around plan_block's comment and brace walks: with them in line GCC
// kept the lanes' vectors in memory.
LANE_PLAN_LOOP StateAndSink plan_blocks(const Input& in, std::size_t from, std::size_t to,
                                        std::uint64_t state, std::uint64_t sink) {
  Carry c = unpacked(state);
  for (std::size_t b = from; b < to; ++b) plan_one(in.masks[b], in.resume[b], c, sink);
  return StateAndSink{packed(c), sink};
}

inline void plan_blocks(const Input& in, std::size_t from, std::size_t to, Carry& c,
                        std::uint64_t& sink) {
  const StateAndSink after = plan_blocks(in, from, to, packed(c), sink);
  c = unpacked(after.state);
  sink = after.sink;
}

// Groups of kLanes blocks in lanes, each made a group ahead; a group that falls back goes to
// plan_block, whole, or (kPartial) from its first lane that falls back.
template <bool kPartial>
LANE_PLAN_LOOP std::uint64_t run_lanes(const Input& in) {
  std::uint64_t sink = 0;
  Carry c;
  std::size_t b = 0;
  Ahead next;
  if (in.blocks() >= kLanes) look_ahead(&in.masks[0], next);
  for (; b + kLanes <= in.blocks(); b += kLanes) {
    const Ahead now = next;
    if (VELTRIM_LIKELY(b + 2 * kLanes <= in.blocks())) look_ahead(&in.masks[b + kLanes], next);
    GroupPlan plan;
    const unsigned n = plan_ahead<kPartial>(now, c, plan);
    for (unsigned k = 0; k < n; ++k) {
      take(sink, plan.keep[k], plan.spaces[k], plan.ends[k], (plan.space_first >> k) & 1);
    }
    if (VELTRIM_UNLIKELY(n < kLanes)) plan_blocks(in, b + n, b + kLanes, c, sink);
  }
  plan_blocks(in, b, in.blocks(), c, sink);
  return sink;
}

// Groups that start where the last one's planned lanes end: the block that fell back goes
// to plan_block alone, and the next group starts after it.
LANE_PLAN_LOOP std::uint64_t run_sliding(const Input& in) {
  std::uint64_t sink = 0;
  Carry c;
  std::size_t b = 0;
  while (b + kLanes <= in.blocks()) {
    GroupPlan plan;
    const unsigned n = plan_lanes<true>(&in.masks[b], c, plan);
    for (unsigned k = 0; k < n; ++k) {
      take(sink, plan.keep[k], plan.spaces[k], plan.ends[k], (plan.space_first >> k) & 1);
    }
    b += n;
    if (VELTRIM_UNLIKELY(n < kLanes)) {
      plan_blocks(in, b, b + 1, c, sink);
      ++b;
    }
  }
  plan_blocks(in, b, in.blocks(), c, sink);
  return sink;
}

// The floor: every block's masks read once and summed.
LANE_PLAN_LOOP std::uint64_t run_read(const Input& in) {
  std::uint64_t sink = 0;
  for (const CharMasks& m : in.masks) {
    sink += m.blank ^ m.comma ^ m.open ^ m.close ^ m.colon ^ m.semi ^ m.slash ^ m.star;
  }
  return sink;
}

// ---------------------------------------------------------------------------------------------
// The check: every group's lanes against plan_block, block by block from the same state.

// A small fixed generator, so that every run checks the same blocks.
struct Lcg {
  std::uint64_t s = 0x9E3779B97F4A7C15ULL;
  unsigned next(unsigned n) {
    s = s * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<unsigned>((s >> 33) % n);
  }
};

// The states a group may start in: the 16 that inside, value, middle and blanks make, each
// outside a comment, in one, and in one after a '*'.
std::vector<Carry> every_state() {
  std::vector<Carry> states;
  for (unsigned comment = 0; comment < 3; ++comment) {
    for (unsigned s = 0; s < 16; ++s) {
      Carry c;
      c.inside = s & 1;
      c.value = (s >> 1) & 1;
      c.middle = (s >> 2) & 1;
      c.blanks = (s >> 3) & 1;
      c.comment = comment != 0 ? 1 : 0;
      c.star = comment == 2 ? 1 : 0;
      states.push_back(c);
    }
  }
  return states;
}

// The blocks and states of the planner's tests (tests/block_plan_test.cc), each padded to 64
// bytes with spaces as there.
struct TableRow {
  MachineState before;
  const char* in;
};
constexpr MachineState kRuleStart{IN_SELECTOR, false, false};
const TableRow kTable[] = {
    {kRuleStart, "a  b , c\t{ x :\n y  z ; }"},
    {kRuleStart, "a:hover,b::before{c:d:e;f;g:h}"},
    {kRuleStart, "a{b:c}d{e"},
    {kRuleStart, "a{b: c/d}"},
    {{IN_VALUE, true, true}, "x:y}"},
    {{IN_VALUE, true, false}, ";b:c"},
    {{IN_PROPERTY, true, true}, ":v"},
    {{IN_PROPERTY, false, true}, "}"},
    {{IN_SELECTOR, true, true}, ",b"},
    {kRuleStart, "a/**/b{x/*1*/ :/**/y /* z */}"},
    {kRuleStart, "a /*/ b */c{d:e}/**/"},
    {{IN_VALUE, true, true}, "/* a */b}"},
    {kRuleStart, "a{b:c/*}{*/;d:e}/*{*/f"},
    {kRuleStart, "a{b:c /* d"},
    {{IN_VALUE, true, true, true, true}, "/ d}"},
    {{IN_VALUE, true, false, true, false}, "* d */e;"},
    {kRuleStart, "a{b{c:d}"},
    {kRuleStart, "a}b{c:d}"},
    {kRuleStart, "@m{a{b:c}}"},
    {kRuleStart, "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa{b: c"},
    {kRuleStart, "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa{b:c/*x*"},
    {kRuleStart, "a{b }"},
    {{IN_PROPERTY, true, false}, "}"},
    {kRuleStart, "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa/"},
};

// Blocks of bytes drawn from `alphabet`: with braces, mostly blocks whose braces do not
// alternate or that hold comments, so mostly lanes that fall back.
std::string random_bytes(Lcg& r, std::size_t n, const char* alphabet) {
  std::string out(n, ' ');
  const auto size = static_cast<unsigned>(std::strlen(alphabet));
  for (char& c : out) c = alphabet[r.next(size)];
  return out;
}

// Rules as sheets have them, with blank runs short and long, colons and commas in values and
// selectors, and now and then what only plan_block or the machine handles: a comment, a lone
// '/' or '*', a stray brace, a '}' in a property name.
std::string random_rules(Lcg& r, std::size_t n) {
  std::string out;
  auto blanks = [&](unsigned most) {
    if (r.next(12) == 0) out.append(r.next(40), ' ');
    for (unsigned i = r.next(most + 1); i > 0; --i) out += " \t\n"[r.next(3)];
  };
  auto word = [&] {
    for (unsigned i = 1 + r.next(6); i > 0; --i) out += "ab"[r.next(2)];
    static const char* const kOdd[] = {"/* x */", "/", "*", "{", "}", "/*", "*/"};
    if (r.next(60) == 0) out += kOdd[r.next(7)];
  };
  while (out.size() < n) {
    for (unsigned s = 1 + r.next(3); s > 0; --s) {
      blanks(2);
      word();
      blanks(2);
      if (s > 1) out += r.next(4) ? "," : ":";
    }
    out += '{';
    for (unsigned d = r.next(5); d > 0; --d) {
      blanks(4);
      word();
      blanks(1);
      if (r.next(40) == 0) out += '}';  // in a property name
      out += ':';
      for (unsigned v = 1 + r.next(3); v > 0; --v) {
        blanks(1);
        word();
        if (v > 1) out += " ,:/"[r.next(4)];
      }
      blanks(1);
      if (d > 1 || r.next(2)) out += ';';
    }
    blanks(3);
    out += '}';
    blanks(4);
  }
  out.resize(n);
  return out;
}

// The block-by-block plan of a group: each block's plan and the state before it, up to the
// first block that plan_block declines.
struct Sequential {
  BlockPlan plan[kLanes];
  Carry before[kLanes + 1];
  unsigned planned = kLanes;  // the blocks before the first it declines
};

Sequential plan_sequentially(const CharMasks* m, Carry c) {
  Sequential s;
  s.before[0] = c;
  for (unsigned k = 0; k < kLanes; ++k) {
    if (!plan_block(m[k], c, s.plan[k])) {
      s.planned = k;
      break;
    }
    s.before[k + 1] = c;
  }
  return s;
}

// Whether the lanes may leave a block in state c to plan_block: it involves a comment, its
// braces do not alternate (plan_block walks them), or plan_block declines it. A model that
// fell back more often would pass every other check.
bool may_fall_back(const CharMasks& m, const Carry& c) {
  if ((c.comment | (m.slash & ((m.star >> 1) | kLastByte))) != 0) return true;
  const std::uint64_t braces = m.open | m.close;
  const std::uint64_t inside = (prefix_xor(braces) << 1) ^ (0 - c.inside);
  if ((braces & (inside ^ m.close)) != 0) return true;
  Carry copy = c;
  BlockPlan plan;
  return !plan_block(m, copy, plan);
}

bool same(const Carry& a, const Carry& b) {
  return a.inside == b.inside && a.value == b.value && a.middle == b.middle &&
         a.blanks == b.blanks && a.comment == b.comment && a.star == b.star;
}

struct CheckStats {
  std::size_t groups = 0;
  std::size_t whole = 0;     // every lane planned
  std::size_t partly = 0;    // some
  std::size_t none = 0;      // none
  std::size_t declined = 0;  // groups with a block that plan_block declines
  std::size_t mismatches = 0;
};

// What is wrong with the lanes plan_lanes<kPartial> planned, or nullptr.
template <bool kPartial>
const char* fault_of(const CharMasks* m, const Carry& c, const Sequential& s, unsigned& n) {
  Carry lc = c;
  GroupPlan plan;
  std::memset(&plan, 0xA5, sizeof plan);  // no lane may pass on what it did not write
  n = plan_lanes<kPartial>(m, lc, plan);
  if (n > s.planned) return "planned a block that plan_block declines";
  if (!kPartial && n != 0 && n != kLanes) return "planned part of a group";
  for (unsigned k = 0; k < n; ++k) {
    const BlockPlan& p = s.plan[k];
    if (plan.keep[k] != p.keep || plan.spaces[k] != p.spaces || plan.ends[k] != p.ends ||
        ((plan.space_first >> k) & 1) != bit_of(p.space_first)) {
      return "a lane's plan differs";
    }
  }
  if (!same(lc, s.before[n])) return "the state after the lanes differs";
  if (n == kLanes) return nullptr;
  // The lane it stops at must be one it may leave; when all or none, any lane.
  const unsigned last = kPartial ? n : std::min(s.planned, static_cast<unsigned>(kLanes - 1));
  for (unsigned k = n; k <= last; ++k) {
    if (may_fall_back(m[k], s.before[k])) return nullptr;
  }
  return "fell back without a reason";
}

// Checks the group of kLanes blocks that `text` holds from state c.
void check_group(const std::string& text, const Carry& c, const char* what, CheckStats& st) {
  CharMasks m[kLanes];
  for (unsigned k = 0; k < kLanes; ++k) {
    classify_plain(reinterpret_cast<const unsigned char*>(text.data()) + std::size_t{64} * k, 64,
                   m[k]);
  }
  const Sequential s = plan_sequentially(m, c);
  unsigned partial = 0;
  unsigned whole = 0;
  const char* fault = fault_of<true>(m, c, s, partial);
  if (fault == nullptr) fault = fault_of<false>(m, c, s, whole);
  if (fault == nullptr && (whole == kLanes) != (partial == kLanes)) fault = "the two ways differ";
  ++st.groups;
  st.whole += partial == kLanes ? 1 : 0;
  st.partly += partial > 0 && partial < kLanes ? 1 : 0;
  st.none += partial == 0 ? 1 : 0;
  st.declined += s.planned < kLanes ? 1 : 0;
  if (fault == nullptr) return;
  if (++st.mismatches <= 5) {
    std::string shown = text;
    for (char& ch : shown) ch = ch == '\n' ? '~' : ch == '\t' ? '`' : ch;
    std::printf(
        "MISMATCH (%s): %s\n  state inside %d value %d middle %d blanks %d comment %d "
        "star %d; lanes planned %u\n  [%s]\n",
        what, fault, int(c.inside), int(c.value), int(c.middle), int(c.blanks), int(c.comment),
        int(c.star), partial, shown.c_str());
  }
}

void report(const char* what, const CheckStats& st) {
  std::printf("%-28s %9zu %9zu %9zu %9zu %9zu %9zu\n", what, st.groups, st.whole, st.partly,
              st.none, st.declined, st.mismatches);
}

// Every group of a sheet, from the state the block-by-block plan leaves before it.
void check_sheet(const Input& in, CheckStats& st) {
  Carry c;
  for (std::size_t b = 0; b + kLanes <= in.blocks(); b += kLanes) {
    check_group(in.text.substr(std::size_t{64} * b, 64 * kLanes), c, in.name.c_str(), st);
    std::uint64_t sink = 0;
    for (unsigned k = 0; k < kLanes; ++k) plan_one(in.masks[b + k], in.resume[b + k], c, sink);
  }
}

// The machine stepped byte by byte must leave each block as plan_block does, where it plans
// it: the benchmark resumes from that machine after the blocks the plan declines.
std::size_t check_steps(const Input& in) {
  std::size_t faults = 0;
  Carry c;
  const auto* bytes = reinterpret_cast<const unsigned char*>(in.text.data());
  for (std::size_t b = 0; b < in.blocks(); ++b) {
    const MachineState stepped = step_block(bytes + 64 * b, bytes + in.text.size(), state_of(c));
    BlockPlan plan;
    if (!plan_block(in.masks[b], c, plan)) {
      c = in.resume[b];
      continue;
    }
    if (!same(carry_of(stepped), c) && ++faults <= 3) {
      std::printf("MISMATCH (%s): the machine stepped byte by byte leaves block %zu otherwise\n",
                  in.name.c_str(), b);
    }
  }
  return faults;
}

bool run_check(double mb) {
  std::printf("lane plan, %s: every lane against plan_block\n", Unit::kName);
  std::printf("%-28s %9s %9s %9s %9s %9s %9s\n", "groups of", "checked", "all lanes", "some",
              "none", "declined", "MISMATCH");
  const std::vector<Carry> states = every_state();
  Lcg r;
  std::size_t mismatches = 0;

  CheckStats table;
  constexpr std::size_t kRows = sizeof kTable / sizeof kTable[0];
  for (std::size_t from = 0; from < kRows; ++from) {
    std::string text;
    for (unsigned k = 0; k < kLanes; ++k) {
      std::string block = kTable[(from + k) % kRows].in;
      block.resize(64, ' ');
      text += block;
    }
    check_group(text, carry_of(kTable[from].before), "table", table);
    for (const Carry& c : states) check_group(text, c, "table", table);
  }
  report("the planner tests' table", table);
  mismatches += table.mismatches;

  struct Random {
    const char* what;
    const char* alphabet;  // nullptr: rules
  };
  const Random kRandom[] = {{"bytes \" \\t\\n{}:;,ab/*\"", " \t\n{}:;,ab/*"},
                            {"bytes \" \\t\\n{}:;,ab\"", " \t\n{}:;,ab"},
                            {"bytes \" \\t\\n:;,ab/\"", " \t\n:;,ab/"},
                            {"random rules", nullptr}};
  for (const Random& kind : kRandom) {
    CheckStats st;
    for (unsigned g = 0; g < 4000; ++g) {
      const std::string text = kind.alphabet ? random_bytes(r, 64 * kLanes, kind.alphabet)
                                             : random_rules(r, 64 * kLanes);
      for (const Carry& c : states) check_group(text, c, kind.what, st);
    }
    report(kind.what, st);
    mismatches += st.mismatches;
  }

  for (int i = 0; i < static_cast<int>(bench::Shape::kCount); ++i) {
    const auto shape = static_cast<bench::Shape>(i);
    const Input in = prepare(bench::shape_name(shape),
                             bench::make_shape(shape, static_cast<std::size_t>(mb * 1e6)));
    CheckStats st;
    check_sheet(in, st);
    // Groups from anywhere in the sheet, from every state.
    for (unsigned g = 0; g < 300; ++g) {
      const std::size_t b = r.next(static_cast<unsigned>(in.blocks() - kLanes));
      const std::string text = in.text.substr(std::size_t{64} * b, 64 * kLanes);
      for (const Carry& c : states) check_group(text, c, in.name.c_str(), st);
    }
    st.mismatches += check_steps(in);
    report(in.name.c_str(), st);
    mismatches += st.mismatches;
  }
  std::printf("%s: %zu mismatches\n", mismatches == 0 ? "PASS" : "FAIL", mismatches);
  return mismatches == 0;
}

// ---------------------------------------------------------------------------------------------
// The timing: each loop over the same masks, in turn, several rounds; the median of each.

struct Loop {
  const char* name;
  std::uint64_t (*run)(const Input&);
};
const Loop kLoops[] = {{"plan_block", run_blocks},
                       {"lanes", run_lanes<false>},
                       {"lanes, part", run_lanes<true>},
                       {"sliding", run_sliding},
                       {"read", run_read}};
constexpr std::size_t kLoopCount = sizeof kLoops / sizeof kLoops[0];

// How often a group falls back, and why: the first lane that does involves a comment, has
// braces that do not alternate, or is a block that plan_block declines.
struct Fallbacks {
  std::size_t groups = 0;
  std::size_t fell_back = 0;
  std::size_t comment = 0;
  std::size_t braces = 0;
  std::size_t declined = 0;
  std::size_t lane_blocks = 0;  // blocks planned in lanes when the lanes before a fall back stay
};

Fallbacks count_fallbacks(const Input& in) {
  Fallbacks f;
  Carry c;
  std::uint64_t sink = 0;
  for (std::size_t b = 0; b + kLanes <= in.blocks(); b += kLanes) {
    GroupPlan plan;
    const unsigned n = plan_lanes<true>(&in.masks[b], c, plan);
    ++f.groups;
    f.lane_blocks += n;
    if (n < kLanes) {
      const CharMasks& m = in.masks[b + n];
      Carry copy = c;
      BlockPlan p;
      ++f.fell_back;
      if ((c.comment | (m.slash & ((m.star >> 1) | kLastByte))) != 0) {
        ++f.comment;
      } else if (!plan_block(m, copy, p)) {
        ++f.declined;
      } else {
        ++f.braces;
      }
    }
    for (unsigned k = n; k < kLanes; ++k) plan_one(in.masks[b + k], in.resume[b + k], c, sink);
  }
  return f;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Times every loop on every shape and prints a row a shape; nonzero when the loops took
// different plans.
int run_time(double mb, int runs) {
  std::printf(
      "lane plan, %s: planning alone, GB/s of input over the same masks, median of "
      "%d runs of %.0f MB each\n",
      Unit::kName, runs, mb);
  std::printf("%-16s %10s %6s %6s %6s %6s %6s %6s %6s | %9s %8s %8s %8s %8s\n", "shape",
              "plan_block", "lanes", "x", "part", "x", "slide", "x", "read", "fall back", "comment",
              "braces", "declined", "in lanes");
  int faults = 0;
  for (int i = 0; i < static_cast<int>(bench::Shape::kCount); ++i) {
    const auto shape = static_cast<bench::Shape>(i);
    const Input in = prepare(bench::shape_name(shape),
                             bench::make_shape(shape, static_cast<std::size_t>(mb * 1e6)));
    std::vector<double> seconds[kLoopCount];
    std::uint64_t sinks[kLoopCount] = {};
    for (const Loop& loop : kLoops) loop.run(in);  // warm-up
    for (int round = 0; round < runs; ++round) {
      for (std::size_t l = 0; l < kLoopCount; ++l) {
        const auto t0 = std::chrono::steady_clock::now();
        sinks[l] = kLoops[l].run(in);
        seconds[l].push_back(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
      }
    }
    // Every plan taken, the same: the lanes' loops against the block-by-block one.
    if (sinks[1] != sinks[0] || sinks[2] != sinks[0] || sinks[3] != sinks[0]) {
      std::printf("MISMATCH (%s): the loops took different plans\n", in.name.c_str());
      ++faults;
    }
    double gbs[kLoopCount];
    for (std::size_t l = 0; l < kLoopCount; ++l) {
      gbs[l] = static_cast<double>(in.text.size()) / median(seconds[l]) / 1e9;
    }
    const Fallbacks f = count_fallbacks(in);
    auto percent = [](std::size_t n, std::size_t of) {
      return 100.0 * static_cast<double>(n) / static_cast<double>(std::max<std::size_t>(of, 1));
    };
    std::printf(
        "%-16s %10.2f %6.2f %6.2f %6.2f %6.2f %6.2f %6.2f %6.2f | %8.1f%% %7.1f%% %7.1f%% "
        "%7.1f%% %7.1f%%\n",
        in.name.c_str(), gbs[0], gbs[1], gbs[1] / gbs[0], gbs[2], gbs[2] / gbs[0], gbs[3],
        gbs[3] / gbs[0], gbs[4], percent(f.fell_back, f.groups), percent(f.comment, f.groups),
        percent(f.braces, f.groups), percent(f.declined, f.groups),
        percent(f.lane_blocks, f.groups * kLanes));
    std::fflush(stdout);
  }
  std::printf(
      "lanes: a group that falls back goes to plan_block whole; part: from its first lane that\n"
      "falls back; slide: that lane alone, the next group starting after it; x: against\n"
      "plan_block; read: the masks summed, the floor. Groups that fall back, by their first\n"
      "lane that does: a comment or a '/' in the last byte, braces that do not alternate, a\n"
      "block plan_block declines; in lanes: the blocks the lanes before it plan.\n");
  return faults == 0 ? 0 : 1;
}

bool unit_runs_here() {
#if defined(__AVX512F__)
#if defined(__VPCLMULQDQ__)
  if (!__builtin_cpu_supports("vpclmulqdq")) return false;
#endif
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
         __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("bmi2") &&
         __builtin_cpu_supports("pclmul");
#else
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2") &&
         __builtin_cpu_supports("pclmul");
#endif
}

}  // namespace
}  // namespace veltrim

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (!veltrim::unit_runs_here()) {
    std::printf("this processor does not run the unit this build is for (%s)\n",
                veltrim::Unit::kName);
    return 2;
  }
  if (mode == "check") return veltrim::run_check(argc > 2 ? std::atof(argv[2]) : 4) ? 0 : 1;
  if (mode == "time") {
    return veltrim::run_time(argc > 2 ? std::atof(argv[2]) : 20, argc > 3 ? std::atoi(argv[3]) : 7);
  }
  std::printf("usage: %s check [MB=4] | time [MB=20] [RUNS=7]\n", argv[0]);
  return 2;
}
