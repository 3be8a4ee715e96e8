// What the copy machine does with 64 bytes at once, worked out from bit masks of the bytes
// alone: which bytes it keeps, where a blank run becomes its one space, and where a rule ends.
// It stands in for the machine wherever the part each byte is in follows from the braces,
// colons and semicolons before it, comments left out; anywhere else (a comment that runs on
// past the block, a brace the machine takes as plain) it declines, and the machine goes on
// event by event.
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
  MachineState after;        // the state after the block's last byte
};

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

// Bit i: the bit of `value` at the last byte before i that is in `at`, or `first` where no
// byte before i is (value lies within at). A run of bytes outside `at` takes the bit of the
// byte before it by one carry through the run.
inline std::uint64_t last_before(std::uint64_t value, std::uint64_t at, bool first) {
  const std::uint64_t decided = (at << 1) | 1;  // bytes that the byte before them decides
  const std::uint64_t from = (value << 1) | static_cast<std::uint64_t>(first);
  const std::uint64_t inherit = ~decided;
  const std::uint64_t fill = ((inherit + (from << 1)) ^ inherit) & inherit;
  return from | fill;
}

// Bit i: byte i is part of a comment: one that the block before left open (`state`), or
// one that opens here. Sets state.comment and state.star for the end of the block.
inline std::uint64_t comments_in(const CharMasks& m, MachineState& state) {
  const std::uint64_t all = ~std::uint64_t{0};
  std::uint64_t comments = 0;
  // Every '/' before a '*' would open one, unless it stands inside an earlier one.
  std::uint64_t opens = m.slash & (m.star >> 1);
  const std::uint64_t closes = m.star & (m.slash >> 1);  // the '*' of each "*/"
  if (state.comment) {
    if (state.star && (m.slash & 1)) {
      comments = 1;  // the '/' that closes it
    } else if (closes == 0) {
      state.star = (m.star >> 63) != 0;
      return all;
    } else {
      comments = all >> (62 - lowest_bit(closes));
    }
    opens &= ~comments;
    state.comment = false;
    state.star = false;
  }
  while (opens != 0) {
    const unsigned from = lowest_bit(opens);
    // The comment ends at the first "*/" after its own "/*"; "/**/" is the shortest.
    const std::uint64_t close = from < 61 ? closes & (all << (from + 2)) : 0;
    if (close == 0) {
      state.comment = true;
      state.star = (m.star >> 63) != 0 && from < 62;  // a '*' of its text, not its opening
      return comments | (all << from);
    }
    const std::uint64_t through = all >> (62 - lowest_bit(close));
    comments |= through & (all << from);
    opens &= ~through;
  }
  return comments;
}

// Inside a rule, from the brace that opens it to the brace that closes it, that one included,
// where the braces do not alternate: a rule opens at the first '{' outside one and closes at
// the first '}' inside, and braces between are plain (as in "@media x { a { ... } }"). Sets
// `open` and `close` to the braces that count.
inline std::uint64_t rules_in(std::uint64_t& open, std::uint64_t& close, bool inside) {
  const std::uint64_t all = ~std::uint64_t{0};
  std::uint64_t rules = 0;
  std::uint64_t opens = 0;
  std::uint64_t closes = 0;
  std::uint64_t from = all;  // the bytes not yet walked
  for (;;) {
    const std::uint64_t next = (inside ? close : open) & from;
    if (next == 0) {
      if (inside) rules |= from;
      break;
    }
    const unsigned at = lowest_bit(next);
    const std::uint64_t brace = std::uint64_t{1} << at;
    if (inside) {
      rules |= from & (all >> (63 - at));  // through the closing brace
      closes |= brace;
    } else {
      opens |= brace;
    }
    inside = !inside;
    if (at == 63) break;
    from = all << (at + 1);
  }
  open = opens;
  close = closes;
  return rules;
}

}  // namespace block_plan_detail

// Plans the 64 bytes that m describes for a machine in state `before`; false when they hold
// something only the byte-by-byte machine handles: a '/' in the last byte, which may open a
// comment, or a '}' after the first character of a property, where it is plain.
inline bool plan_block(const CharMasks& m, MachineState before, BlockPlan& plan) {
  using namespace block_plan_detail;
  const std::uint64_t last = std::uint64_t{1} << 63;
  // A comment stands for nothing: its bytes are left out of every mask below.
  MachineState after = before;
  const std::uint64_t text = ~comments_in(m, after);
  if (m.slash & text & last) return false;

  // Inside a rule between its braces. While the braces alternate, their parity tells; where
  // they do not, some are plain, and a walk over them tells which count.
  std::uint64_t open = m.open & text;
  std::uint64_t close = m.close & text;
  std::uint64_t braces = open | close;
  std::uint64_t inside = prefix_xor(braces) << 1;
  if (before.part != IN_SELECTOR) inside = ~inside;
  if ((open & inside) | (close & ~inside)) {
    inside = rules_in(open, close, before.part != IN_SELECTOR);
    braces = open | close;
  }

  // Inside a rule, a byte is in a value when the last of the colons, semicolons and braces
  // before it is a colon: a ':' in a value and a ';' in a property are plain and change
  // nothing, just as the rule says.
  const std::uint64_t colon = m.colon & text & inside;
  const std::uint64_t semi = m.semi & text;
  const std::uint64_t marks = colon | semi | braces;
  const std::uint64_t value = last_before(colon, marks, before.part == IN_VALUE);
  const std::uint64_t property = inside & ~value;
  const std::uint64_t selector_ends = ((m.comma & text) | open) & ~inside;
  const std::uint64_t part_ends = selector_ends | (colon & property) | (semi & value) | close;

  const std::uint64_t blank = m.blank & text;
  const std::uint64_t non_blank = ~m.blank & text;
  const std::uint64_t plain = non_blank & ~part_ends;
  const std::uint64_t middle = last_before(plain, non_blank, before.middle);
  if (close & property & middle) return false;

  // One space stands for a run of blanks (and comments) between a plain character and
  // anything but the end of a selector. It takes the place of the run's last byte, which is
  // a blank or the '/' that closes a comment, and which nothing else keeps.
  const std::uint64_t after_blank = last_before(blank, text, before.blanks);
  const std::uint64_t spaced = non_blank & after_blank & middle & ~selector_ends;
  plan.spaces = spaced >> 1;
  plan.keep = non_blank | plan.spaces;
  plan.ends = close;
  plan.space_first = (spaced & 1) != 0;

  const bool inside_after = ((inside ^ braces) & last) != 0;
  const bool value_after =
      marks ? ((colon >> highest_bit(marks)) & 1) != 0 : before.part == IN_VALUE;
  after.part = !inside_after ? IN_SELECTOR : value_after ? IN_VALUE : IN_PROPERTY;
  after.middle = non_blank ? ((plain >> highest_bit(non_blank)) & 1) != 0 : before.middle;
  after.blanks = text ? ((blank >> highest_bit(text)) & 1) != 0 : before.blanks;
  plan.after = after;
  return true;
}

}  // namespace
}  // namespace veltrim
