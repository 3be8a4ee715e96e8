// What the copy machine does with 64 bytes at once, worked out from bit masks of the bytes
// alone: which bytes it keeps, where a blank run becomes its one space, and where a rule ends.
// It stands in for the machine wherever the part each byte is in follows from the braces,
// colons and semicolons before it, comments left out; where that is not known from the block
// alone (a '/' in its last byte, which may open a comment, or a '}' in a property name, which
// the machine takes as plain) it declines, and the machine goes on event by event.
#pragma once

#include <cstdint>

#if defined(__PCLMUL__)
#include <wmmintrin.h>
#endif

#include "fast/fast_path.h"
#include "fast/generic/masks.h"

namespace veltrim {
namespace {  // a copy per unit, as in masks.h

struct BlockPlan {
  std::uint64_t keep = 0;    // bytes written: the non-blank ones, and each blank run's space
  std::uint64_t spaces = 0;  // the kept bytes written as a space
  std::uint64_t ends = 0;    // each '}' here ends a rule, and CR LF follows it
  bool space_first = false;  // the blanks before the block become a space before byte 0
};

// The machine's state between blocks as the block loop carries it: one word a bit, each 0 or
// 1, so that the next block takes it in with a shift or a mask instead of a branch, and the
// loop keeps it in registers.
struct Carry {
  std::uint64_t inside = 0;   // in a rule: its property or its value
  std::uint64_t value = 0;    // in a value
  std::uint64_t middle = 0;   // a plain character of the part has been written
  std::uint64_t blanks = 0;   // blanks (and maybe comments) stand before the next byte
  std::uint64_t comment = 0;  // inside a comment
  std::uint64_t star = 0;     // ... whose last byte was a '*' that a '/' would close
};

inline std::uint64_t bit_of(bool b) {
  return b ? 1 : 0;
}

inline Carry carry_of(const MachineState& s) {
  Carry c;
  c.inside = bit_of(s.part != IN_SELECTOR);
  c.value = bit_of(s.part == IN_VALUE);
  c.middle = bit_of(s.middle);
  c.blanks = bit_of(s.blanks);
  c.comment = bit_of(s.comment);
  c.star = bit_of(s.star);
  return c;
}

inline MachineState state_of(const Carry& c) {
  MachineState s;
  s.part = c.inside == 0 ? IN_SELECTOR : c.value != 0 ? IN_VALUE : IN_PROPERTY;
  s.middle = c.middle != 0;
  s.blanks = c.blanks != 0;
  s.comment = c.comment != 0;
  s.star = c.star != 0;
  return s;
}

namespace block_plan_detail {

// Bit i: the parity of the bits of m at i and below.
inline std::uint64_t prefix_xor(std::uint64_t m) {
#if defined(__PCLMUL__)
  // A carry-less multiply by all ones is that parity, in one instruction: the units built
  // for AVX2 and AVX-512 have it.
  const __m128i product =
      _mm_clmulepi64_si128(_mm_cvtsi64_si128(static_cast<long long>(m)), _mm_set1_epi8(-1), 0);
  return static_cast<std::uint64_t>(_mm_cvtsi128_si64(product));
#else
  for (unsigned shift = 1; shift < 64; shift *= 2) m ^= m << shift;
  return m;
#endif
}

// Bit i: the bit of `value` at the last byte before i that is in `at`, or `first` (0 or 1)
// where no byte before i is (value lies within at). A run of bytes outside `at` takes the bit
// of the byte before it by one carry through the run.
inline std::uint64_t last_before(std::uint64_t value, std::uint64_t at, std::uint64_t first) {
  const std::uint64_t decided = (at << 1) | 1;  // bytes that the byte before them decides
  const std::uint64_t from = (value << 1) | first;
  const std::uint64_t inherit = ~decided;
  const std::uint64_t fill = ((inherit + (from << 1)) ^ inherit) & inherit;
  return from | fill;
}

// The helpers below take and give masks by value, not through references, which would hold
// them in memory: the block loop would store every mask of every block for the few blocks
// that call them. Kept inline: a call would cost the Windows build more, where a 16-byte
// result goes through memory and the wide registers do not survive a call.

// The comments of a block.
struct Comments {
  std::uint64_t bytes;  // bit i: byte i is part of one, that the block before left open or
                        // that opens here
  std::uint64_t after;  // the state at the block's end: 1 while in a comment, and 2 besides
                        // when its last byte was a '*' of its text, which a '/' would close
};

// The braces of a block that count: a rule opens at each '{' in `open`, closes at each '}' in
// `close`.
struct Braces {
  std::uint64_t open;
  std::uint64_t close;
};

// The comments of a block whose '/' and '*' are at `slash` and `star`; `state` is the state
// at the end of the block before, in the form of Comments::after.
inline Comments comments_in(std::uint64_t slash, std::uint64_t star, std::uint64_t state) {
  const std::uint64_t all = ~std::uint64_t{0};
  std::uint64_t comments = 0;
  // Every '/' before a '*' would open one, unless it stands inside an earlier one.
  std::uint64_t opens = slash & (star >> 1);
  const std::uint64_t closes = star & (slash >> 1);  // the '*' of each "*/"
  if (state & 1) {
    if ((state & 2) && (slash & 1)) {
      comments = 1;  // the '/' that closes it
    } else if (closes == 0) {
      return Comments{all, 1 | (star >> 63) << 1};
    } else {
      comments = all >> (62 - lowest_bit(closes));
    }
    opens &= ~comments;
  }
  while (opens != 0) {
    const unsigned from = lowest_bit(opens);
    // The comment ends at the first "*/" after its own "/*"; "/**/" is the shortest.
    const std::uint64_t close = from < 61 ? closes & (all << (from + 2)) : 0;
    if (close == 0) {
      // A '*' in the last byte is one of its text unless it is its opening one.
      const std::uint64_t star_last = (star >> 63) & bit_of(from < 62);
      return Comments{comments | (all << from), 1 | star_last << 1};
    }
    const std::uint64_t through = all >> (62 - lowest_bit(close));
    comments |= through & (all << from);
    opens &= ~through;
  }
  return Comments{comments, 0};
}

// The braces that count, where they do not alternate: a rule opens at the first '{' outside
// one and closes at the first '}' inside, and braces between are plain (as in
// "@media x { a { ... } }").
inline Braces braces_that_count(std::uint64_t open, std::uint64_t close, bool inside) {
  std::uint64_t opens = 0;
  std::uint64_t closes = 0;
  std::uint64_t from = ~std::uint64_t{0};  // the bytes not yet walked
  for (;;) {
    const std::uint64_t next = (inside ? close : open) & from;
    if (next == 0) break;
    const unsigned at = lowest_bit(next);
    const std::uint64_t brace = std::uint64_t{1} << at;
    if (inside) {
      closes |= brace;
    } else {
      opens |= brace;
    }
    inside = !inside;
    if (at == 63) break;
    from = ~std::uint64_t{0} << (at + 1);
  }
  return Braces{opens, closes};
}

// Where a block's rules are: the braces that count, and bit i of `inside` when byte i is in a
// rule, between its braces.
struct Rules {
  Braces braces;
  std::uint64_t inside;
};

// The rules of a block whose bytes outside comments are `text`, for a machine that was
// inside one before it when `inside_before` is 1. While the braces alternate, their parity
// (`parity`, that of all the block's braces) tells; where they do not, some are plain, and a
// walk over them tells which count.
template <bool kComments>
VELTRIM_INLINE Rules rules_in(const CharMasks& m, std::uint64_t text, std::uint64_t parity,
                              std::uint64_t inside_before) {
  Braces braces{m.open & text, m.close & text};
  const std::uint64_t before = std::uint64_t{0} - inside_before;
  // Braces in comments do not count: then the parity is that of the others.
  if (kComments && VELTRIM_UNLIKELY(((m.open | m.close) & ~text) != 0)) {
    parity = prefix_xor(braces.open | braces.close);
  }
  std::uint64_t inside = (parity << 1) ^ before;
  // They alternate when every '{' is outside and every '}' inside.
  if (VELTRIM_UNLIKELY(((braces.open | braces.close) & (inside ^ braces.close)) != 0)) {
    braces = braces_that_count(braces.open, braces.close, inside_before != 0);
    inside = (prefix_xor(braces.open | braces.close) << 1) ^ before;
  }
  return Rules{braces, inside};
}

}  // namespace block_plan_detail

// Plans a block whose bytes outside comments are `text` (all of them when kComments is
// false, which lets the compiler drop every mask of it); `comment_after` is the comment state
// at its end, as comments_in gives it. `parity` is that of all the block's braces
// (brace_parity), which the block loop works out ahead.
template <bool kComments>
inline bool plan_text(const CharMasks& m, std::uint64_t text, std::uint64_t comment_after,
                      std::uint64_t parity, Carry& c, BlockPlan& plan) {
  using namespace block_plan_detail;
  const Rules rules = rules_in<kComments>(m, text, parity, c.inside);
  const std::uint64_t open = rules.braces.open;
  const std::uint64_t close = rules.braces.close;
  const std::uint64_t braces = open | close;
  const std::uint64_t inside = rules.inside;

  // Inside a rule, a byte is in a value when the last of the colons, semicolons and braces
  // before it is a colon: a ':' in a value and a ';' in a property are plain and change
  // nothing, just as the rule says.
  const std::uint64_t colon = m.colon & text & inside;
  const std::uint64_t semi = m.semi & text;
  const std::uint64_t marks = colon | semi | braces;
  const std::uint64_t value = last_before(colon, marks, c.value);
  const std::uint64_t property = inside & ~value;
  const std::uint64_t selector_ends = ((m.comma & text) | open) & ~inside;
  const std::uint64_t part_ends = selector_ends | (colon & property) | (semi & value) | close;

  const std::uint64_t blank = m.blank & text;
  const std::uint64_t non_blank = ~m.blank & text;
  const std::uint64_t plain = non_blank & ~part_ends;
  const std::uint64_t middle = last_before(plain, non_blank, c.middle);
  if (close & property & middle) return false;

  // One space stands for a run of blanks (and comments) between a plain character and
  // anything but the end of a selector. It takes the place of the run's last byte, which is
  // a blank or the '/' that closes a comment, and which nothing else keeps. Without
  // comments the byte before each byte is the one that tells.
  const std::uint64_t after_blank =
      kComments ? last_before(blank, text, c.blanks) : (blank << 1) | c.blanks;
  const std::uint64_t spaced = non_blank & after_blank & middle & ~selector_ends;
  plan.spaces = spaced >> 1;
  plan.keep = non_blank | plan.spaces;
  plan.ends = close;
  plan.space_first = (spaced & 1) != 0;

  // The state after the last byte: what that byte sets where it sets it, else what held
  // before it.
  Carry after;
  after.comment = comment_after & 1;
  after.star = comment_after >> 1;
  after.inside = (inside ^ braces) >> 63;
  after.value = (colon | (value & ~marks)) >> 63;
  after.middle = (plain | (middle & ~non_blank)) >> 63;
  after.blanks = (blank | (after_blank & ~text)) >> 63;
  c = after;
  return true;
}

// Bit i: the parity of the braces of m at i and below, as the plan needs it unless a brace
// stands in a comment. It does not depend on the state before the block, so the block loop
// works it out a block ahead, off the way from one block's state to the next.
inline std::uint64_t brace_parity(const CharMasks& m) {
  return block_plan_detail::prefix_xor(m.open | m.close);
}

// Plans the 64 bytes that m describes for a machine in state `c`, and moves c past them;
// false, with c as it was, when they hold something only the byte-by-byte machine handles: a
// '/' in the last byte, which may open a comment, or a '}' after the first character of a
// property, where it is plain. `parity` is brace_parity(m).
inline bool plan_block(const CharMasks& m, std::uint64_t parity, Carry& c, BlockPlan& plan) {
  using namespace block_plan_detail;
  const std::uint64_t last = std::uint64_t{1} << 63;
  // A comment stands for nothing: its bytes are left out of every mask. Only a block that is
  // in one, opens one or may (a '/' in its last byte) needs to find them.
  if (VELTRIM_UNLIKELY((c.comment | (m.slash & ((m.star >> 1) | last))) != 0)) {
    const Comments comments = comments_in(m.slash, m.star, c.comment | c.star << 1);
    const std::uint64_t text = ~comments.bytes;
    if (m.slash & text & last) return false;
    return plan_text<true>(m, text, comments.after, parity, c, plan);
  }
  return plan_text<false>(m, ~std::uint64_t{0}, 0, parity, c, plan);
}

inline bool plan_block(const CharMasks& m, Carry& c, BlockPlan& plan) {
  return plan_block(m, brace_parity(m), c, plan);
}

}  // namespace
}  // namespace veltrim
