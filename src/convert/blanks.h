// The blanks: the line form drops a run of them or squeezes it to one space. Bytes 11 (VT) and
// 12 (FF) are not among them. The one test of a blank, for the character machine and every
// unit of the fast path alike.
#pragma once

namespace veltrim {
// Everything here has internal linkage: each file that includes it has a copy of its own, so
// that no file compiled for a wider instruction set shares a symbol with another.
namespace {

constexpr unsigned char kBlanks[] = {' ', '\t', '\n', '\r'};

// For a byte shuffle indexed by the low 4 bits of each byte: the blank with those low bits,
// or a byte whose own low bits differ (0, or 0x20 at 0), so that a byte equals its entry
// exactly when it is a blank. The blanks' low 4 bits all differ.
struct BlankTable {
  unsigned char at[16];
};
constexpr BlankTable make_blank_table() {
  BlankTable t{};
  for (unsigned char c : kBlanks) t.at[c & 15] = c;
  return t;
}
constexpr BlankTable kBlankTable = make_blank_table();
static_assert(
    [] {
      unsigned seen = 0;
      for (unsigned char c : kBlanks) {
        if (c > 0x7F || (seen >> (c & 15)) & 1) return false;
        seen |= 1u << (c & 15);
      }
      return true;
    }(),
    "a blank table needs blanks below 0x80 with distinct low 4 bits");

// A blank, by the table: one load and one compare, the same test as the units' shuffles.
inline bool is_blank(unsigned char c) {
  return kBlankTable.at[c & 15] == c;
}

}  // namespace
}  // namespace veltrim
