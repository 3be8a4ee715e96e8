// What the copy machine does with 64 bytes at once, worked out from bit masks of the bytes
// alone: which bytes it keeps, where a blank run becomes its one space, and where a rule ends.
// It stands in for the machine over a stretch without a comment, where the part each byte is
// in follows from the braces, colons and semicolons before it; anywhere else (a comment, a
// brace the machine takes as plain) it declines, and the machine goes on byte by byte.
#pragma once

#include <cstdint>

namespace veltrim {

// Bit i tells about byte i of a 64-byte block.
struct CharMasks {
  std::uint64_t blank = 0;  // TAB, LF, CR, space
  std::uint64_t comma = 0;
  std::uint64_t open = 0;   // '{'
  std::uint64_t close = 0;  // '}'
  std::uint64_t colon = 0;
  std::uint64_t semi = 0;
  std::uint64_t slash = 0;
  std::uint64_t star = 0;
};

enum Part : unsigned char { IN_SELECTOR, IN_PROPERTY, IN_VALUE };

// Where the machine is between two bytes.
struct MachineState {
  Part part = IN_SELECTOR;
  bool middle = false;  // a plain character of the part has been written
  bool blanks = false;  // blanks stand between that character and the next byte
};

struct BlockPlan {
  std::uint64_t keep = 0;    // bytes written: the non-blank ones, and each blank run's space
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

inline unsigned highest_bit(std::uint64_t m) {  // m != 0
#if defined(__GNUC__)
  return 63 - static_cast<unsigned>(__builtin_clzll(m));
#else
  unsigned n = 63;
  while ((m >> n) == 0) --n;
  return n;
#endif
}

}  // namespace block_plan_detail

// Plans the 64 bytes that m describes for a machine in state `before`; false when they hold
// something only the byte-by-byte machine handles: a '/' that opens (or, at the last byte,
// may open) a comment, a '{' inside a rule or a '}' outside one, or a '}' after the first
// character of a property, where it is plain.
inline bool plan_block(const CharMasks& m, MachineState before, BlockPlan& plan) {
  using namespace block_plan_detail;
  const std::uint64_t last = std::uint64_t{1} << 63;
  if (m.slash & ((m.star >> 1) | last)) return false;

  // Inside a rule between its braces; valid while the braces alternate, which is checked.
  const std::uint64_t braces = m.open | m.close;
  std::uint64_t inside = prefix_xor(braces) << 1;
  if (before.part != IN_SELECTOR) inside = ~inside;
  if ((m.open & inside) | (m.close & ~inside)) return false;

  // Inside a rule, a byte is in a value when the last of the colons, semicolons and braces
  // before it is a colon: a ':' in a value and a ';' in a property are plain and change
  // nothing, just as the rule says.
  const std::uint64_t colon = m.colon & inside;
  const std::uint64_t marks = colon | m.semi | braces;
  const std::uint64_t value = last_before(colon, marks, before.part == IN_VALUE);
  const std::uint64_t property = inside & ~value;
  const std::uint64_t selector_ends = (m.comma | m.open) & ~inside;
  const std::uint64_t part_ends = selector_ends | (colon & property) | (m.semi & value) | m.close;

  const std::uint64_t non_blank = ~m.blank;
  const std::uint64_t plain = non_blank & ~part_ends;
  const std::uint64_t middle = last_before(plain, non_blank, before.middle);
  if (m.close & property & middle) return false;

  // One space stands for a blank run between a plain character and anything but the end of a
  // selector; it takes the place of the run's last blank.
  const std::uint64_t after_blank = (m.blank << 1) | static_cast<std::uint64_t>(before.blanks);
  const std::uint64_t spaced = non_blank & after_blank & middle & ~selector_ends;
  plan.keep = non_blank | (spaced >> 1);
  plan.ends = m.close;
  plan.space_first = (spaced & 1) != 0;

  const bool inside_after = ((inside ^ braces) & last) != 0;
  const bool value_after =
      marks ? ((colon >> highest_bit(marks)) & 1) != 0 : before.part == IN_VALUE;
  plan.after.part = !inside_after ? IN_SELECTOR : value_after ? IN_VALUE : IN_PROPERTY;
  plan.after.middle = non_blank ? ((plain >> highest_bit(non_blank)) & 1) != 0 : before.middle;
  plan.after.blanks = (m.blank & last) != 0;
  return true;
}

}  // namespace veltrim
