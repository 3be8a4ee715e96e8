// The whole-block planner on single blocks: what it keeps, where rules end, the state it
// leaves, and the blocks it must leave to the byte-by-byte machine.
#include "fast/generic/block_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace veltrim {
namespace {

// The masks of a block, padded to 64 bytes with spaces, by the units' own plain classifier.
CharMasks masks_of(std::string& block) {
  block.resize(64, ' ');
  CharMasks m;
  classify_plain(reinterpret_cast<const unsigned char*>(block.data()), 64, m);
  return m;
}

// What the plan writes, as the kernel writes it.
std::string written(const std::string& block, const BlockPlan& plan) {
  std::string out = plan.space_first ? " " : "";
  for (unsigned i = 0; i < 64; ++i) {
    if ((plan.keep >> i) & 1) out += (plan.spaces >> i) & 1 ? ' ' : block[i];
    if ((plan.ends >> i) & 1) out += "\r\n";
  }
  return out;
}

struct Row {
  MachineState before;
  std::string in;
  std::string out;  // empty: the planner must decline
  MachineState after;
};

constexpr MachineState kRuleStart{IN_SELECTOR, false, false};

TEST(BlockPlan, Table) {
  const std::vector<Row> rows = {
      {kRuleStart, "a  b , c\t{ x :\n y  z ; }", "a b,c{x :y z ;}\r\n", {IN_SELECTOR, false, true}},
      {kRuleStart,
       "a:hover,b::before{c:d:e;f;g:h}",
       "a:hover,b::before{c:d:e;f;g:h}\r\n",
       {IN_SELECTOR, false, true}},
      {kRuleStart, "a{b:c}d{e", "a{b:c}\r\nd{e", {IN_PROPERTY, true, true}},
      {kRuleStart, "a{b: c/d}", "a{b:c/d}\r\n", {IN_SELECTOR, false, true}},
      // The state carries over from the block before: the blanks and plain character before
      // byte 0 make a space, in a value the ':' is plain, in a property ';' is.
      {{IN_VALUE, true, true}, "x:y}", " x:y}\r\n", {IN_SELECTOR, false, true}},
      {{IN_VALUE, true, false}, ";b:c", ";b:c", {IN_VALUE, true, true}},
      {{IN_PROPERTY, true, true}, ":v", " :v", {IN_VALUE, true, true}},
      {{IN_PROPERTY, false, true}, "}", "}\r\n", {IN_SELECTOR, false, true}},
      {{IN_SELECTOR, true, true}, ",b", ",b", {IN_SELECTOR, true, true}},
      // A comment stands for nothing, and blanks on either side of it make one run.
      {kRuleStart, "a/**/b{x/*1*/ :/**/y /* z */}", "ab{x :y }\r\n", {IN_SELECTOR, false, true}},
      {kRuleStart, "a /*/ b */c{d:e}/**/", "a c{d:e}\r\n", {IN_SELECTOR, false, true}},
      {{IN_VALUE, true, true}, "/* a */b}", " b}\r\n", {IN_SELECTOR, false, true}},
      {kRuleStart, "a{b:c/*}{*/;d:e}/*{*/f", "a{b:c;d:e}\r\nf", {IN_SELECTOR, true, true}},
      // A comment that runs past the block is pending after it, and the next goes on in it;
      // a '*' at the end may close it there.
      {kRuleStart, "a{b:c /* d", "a{b:c", {IN_VALUE, true, true, true, false}},
      {{IN_VALUE, true, true, true, true}, "/ d}", " d}\r\n", {IN_SELECTOR, false, true}},
      {{IN_VALUE, true, false, true, false}, "* d */e;", "e;", {IN_PROPERTY, false, true}},
      // Braces the machine takes as plain: '{' inside a rule, '}' outside one.
      {kRuleStart, "a{b{c:d}", "a{b{c:d}\r\n", {IN_SELECTOR, false, true}},
      {kRuleStart, "a}b{c:d}", "a}b{c:d}\r\n", {IN_SELECTOR, false, true}},
      {kRuleStart, "@m{a{b:c}}", "@m{a{b:c}\r\n}", {IN_SELECTOR, true, true}},
      // Blocks that end in a plain character or inside a comment, not in the padding's blanks.
      {kRuleStart,
       std::string(59, 'a') + "{b: c",
       std::string(59, 'a') + "{b:c",
       {IN_VALUE, true, false}},
      {kRuleStart,
       std::string(56, 'a') + "{b:c/*x*",
       std::string(56, 'a') + "{b:c",
       {IN_VALUE, true, false, true, true}},
      // Declined: '}' inside a property name, and a '/' in the last byte (below).
      {kRuleStart, "a{b }", "", {}},
      {{IN_PROPERTY, true, false}, "}", "", {}},
  };
  for (const Row& row : rows) {
    std::string block = row.in;
    const CharMasks m = masks_of(block);
    BlockPlan plan;
    Carry c = carry_of(row.before);
    const bool planned = plan_block(m, c, plan);
    ASSERT_EQ(planned, !row.out.empty()) << row.in;
    if (!planned) continue;
    EXPECT_EQ(written(block, plan), row.out) << row.in;
    const MachineState after = state_of(c);
    EXPECT_EQ(after.part, row.after.part) << row.in;
    EXPECT_EQ(after.middle, row.after.middle) << row.in;
    EXPECT_EQ(after.blanks, row.after.blanks) << row.in;
    EXPECT_EQ(after.comment, row.after.comment) << row.in;
    EXPECT_EQ(after.star, row.after.star) << row.in;
  }
}

// A block without comments is planned by a copy of the planner that has no comment masks:
// it must plan every block as the copy with them does when no byte is in a comment, from
// every state the block before may leave.
TEST(BlockPlan, WithoutCommentMasksPlansAsWithThem) {
  const char kAlphabet[] = " \t\n{}:;,ab/*";
  std::uint32_t seed = 12345;
  for (int n = 0; n < 20000; ++n) {
    std::string block(64, ' ');
    for (char& c : block) {
      seed = seed * 1664525u + 1013904223u;
      c = kAlphabet[(seed >> 24) % (sizeof kAlphabet - 1)];
    }
    const CharMasks m = masks_of(block);
    for (unsigned s = 0; s < 16; ++s) {
      Carry before;
      before.inside = s & 1;
      before.value = (s >> 1) & before.inside;
      before.middle = (s >> 2) & 1;
      before.blanks = (s >> 3) & 1;
      Carry with = before;
      Carry without = before;
      BlockPlan a;
      BlockPlan b;
      const bool planned = plan_text<true>(m, ~std::uint64_t{0}, 0, brace_parity(m), with, a);
      ASSERT_EQ(plan_text<false>(m, ~std::uint64_t{0}, 0, brace_parity(m), without, b), planned)
          << block;
      if (!planned) continue;
      EXPECT_EQ(a.keep, b.keep) << block;
      EXPECT_EQ(a.spaces, b.spaces) << block;
      EXPECT_EQ(a.ends, b.ends) << block;
      EXPECT_EQ(a.space_first, b.space_first) << block;
      EXPECT_EQ(with.inside, without.inside) << block;
      EXPECT_EQ(with.value, without.value) << block;
      EXPECT_EQ(with.middle, without.middle) << block;
      EXPECT_EQ(with.blanks, without.blanks) << block;
    }
  }
}

// A '/' in the last byte may open a comment that the next block closes.
TEST(BlockPlan, DeclinesASlashInTheLastByte) {
  std::string block(63, 'a');
  block += '/';
  BlockPlan plan;
  Carry c = carry_of(kRuleStart);
  EXPECT_FALSE(plan_block(masks_of(block), c, plan));
}

}  // namespace
}  // namespace veltrim
