// What the copy machine does with 64 bytes at once, worked out from bit masks of the bytes
// alone: which bytes it keeps, where a blank run becomes its one space, and where a rule ends.
// It stands in for the machine wherever the part each byte is in follows from the braces,
// colons and semicolons before it, comments left out; anywhere else (a comment that runs on
// past the block, a brace the machine takes as plain) it declines, and the machine goes on
// event by event.
#pragma once

#include <cstdint>

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
  for (unsigned shift = 1; shift < 64; shift *= 2) m ^= m << shift;
  return m;
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

// Bit i: byte i is part of a comment that opens and closes within the block. Sets `open`
// when a comment opens but does not close there.
inline std::uint64_t comments_in(const CharMasks& m, bool& open) {
  std::uint64_t comments = 0;
  open = false;
  // Every '/' before a '*' would open one, unless it stands inside an earlier one.
  std::uint64_t opens = m.slash & (m.star >> 1);
  const std::uint64_t closes = m.star & (m.slash >> 1);  // the '*' of each "*/"
  while (opens != 0) {
    const unsigned from = lowest_bit(opens);
    // The comment ends at the first "*/" after its own "/*"; "/**/" is the shortest.
    const std::uint64_t close = from < 61 ? closes & (~std::uint64_t{0} << (from + 2)) : 0;
    if (close == 0) {
      open = true;
      return comments;
    }
    const std::uint64_t through = ~std::uint64_t{0} >> (62 - lowest_bit(close));
    comments |= through & (~std::uint64_t{0} << from);
    opens &= ~through;
  }
  return comments;
}

}  // namespace block_plan_detail

// Plans the 64 bytes that m describes for a machine in state `before`; false when they hold
// something only the byte-by-byte machine handles: a comment that runs past the block (or a
// '/' in the last byte, which may open one), a '{' inside a rule or a '}' outside one, or a
// '}' after the first character of a property, where it is plain.
inline bool plan_block(const CharMasks& m, MachineState before, BlockPlan& plan) {
  using namespace block_plan_detail;
  const std::uint64_t last = std::uint64_t{1} << 63;
  bool comment_runs_on = false;
  // A comment stands for nothing: its bytes are left out of every mask below.
  const std::uint64_t text = ~comments_in(m, comment_runs_on);
  if (comment_runs_on || (m.slash & text & last)) return false;

  // Inside a rule between its braces; valid while the braces alternate, which is checked.
  const std::uint64_t braces = (m.open | m.close) & text;
  std::uint64_t inside = prefix_xor(braces) << 1;
  if (before.part != IN_SELECTOR) inside = ~inside;
  if ((m.open & text & inside) | (m.close & text & ~inside)) return false;

  // Inside a rule, a byte is in a value when the last of the colons, semicolons and braces
  // before it is a colon: a ':' in a value and a ';' in a property are plain and change
  // nothing, just as the rule says.
  const std::uint64_t colon = m.colon & text & inside;
  const std::uint64_t semi = m.semi & text;
  const std::uint64_t marks = colon | semi | braces;
  const std::uint64_t value = last_before(colon, marks, before.part == IN_VALUE);
  const std::uint64_t property = inside & ~value;
  const std::uint64_t selector_ends = ((m.comma | m.open) & text) & ~inside;
  const std::uint64_t close = m.close & text;
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
  plan.after.part = !inside_after ? IN_SELECTOR : value_after ? IN_VALUE : IN_PROPERTY;
  plan.after.middle = non_blank ? ((plain >> highest_bit(non_blank)) & 1) != 0 : before.middle;
  plan.after.blanks = text ? ((blank >> highest_bit(text)) & 1) != 0 : before.blanks;
  return true;
}

}  // namespace
}  // namespace veltrim
