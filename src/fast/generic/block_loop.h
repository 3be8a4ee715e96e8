// The block loop: 64 bytes at a time by the plan of their masks (block_plan.h), written by the
// unit's primitives, for as long as the blocks plan. The fast path's hot loop: it makes no
// calls, and must not (doc/performance.md).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fast/fast_path.h"
#include "fast/generic/block_plan.h"
#include "fast/generic/masks.h"

namespace veltrim {
namespace {  // a copy per unit, as in masks.h

// Room in the output for one planned block: a space before its bytes, the 64 bytes, CR LF
// after each rule end (at most one for every two bytes, since the braces alternate), and the
// 64 bytes that every compressed store may write, however few of them it keeps.
constexpr std::ptrdiff_t kBlockRoom = 1 + 64 + 64 + 64;
static_assert(kBlockRoom <= static_cast<std::ptrdiff_t>(kStretchRoom),
              "a stretch given kStretchRoom must be able to plan a block");

// Converts 64 bytes at a time from p for as long as whole blocks are in the buffers and each
// plans; stops before the first block that does not.
template <class Unit>
VELTRIM_NOINLINE void convert_blocks(const unsigned char*& in, unsigned char*& out,
                                     MachineState& carried, const unsigned char* in_end,
                                     unsigned char* out_end) {
  // Copies in locals, which stay in registers: through the references every block would
  // store its state and the next one load it again, on the chain that runs from block to
  // block.
  const unsigned char* p = in;
  unsigned char* q = out;
  Carry state = carry_of(carried);
  // The masks of each block, and the parity of its braces, are made one block ahead, before
  // the block before is planned: a block's way from its load to its store is long, and the
  // processor overlaps only as many blocks as its window holds; with them ready the plan
  // starts at once.
  CharMasks m{};
  if (in_end - p >= 64) Unit::classify(p, m);
  std::uint64_t parity = brace_parity(m);
  while (in_end - p >= 64 && out_end - q >= kBlockRoom) {
    CharMasks next = m;
    if (VELTRIM_LIKELY(in_end - p >= 128)) Unit::classify(p + 64, next);
    const std::uint64_t next_parity = brace_parity(next);
    BlockPlan plan;
    if (!plan_block(m, parity, state, plan)) break;
    *q = ' ';
    q += plan.space_first;
    if (VELTRIM_LIKELY(plan.ends == 0)) {
      q = Unit::write_kept(p, plan.spaces, plan.keep, q);
    } else {
      // The kept bytes once, then moved out rule by rule with CR LF after each '}'.
      unsigned char kept[64 + 64];
      const auto n =
          static_cast<unsigned>(Unit::write_kept(p, plan.spaces, plan.keep, kept) - kept);
      unsigned from = 0;
      for (std::uint64_t ends = plan.ends; ends != 0; ends &= ends - 1) {
        const unsigned upto = bit_count(plan.keep & (~std::uint64_t{0} >> (63 - lowest_bit(ends))));
        std::memcpy(q, kept + from, 64);
        q += upto - from;
        *q++ = '\r';
        *q++ = '\n';
        from = upto;
      }
      std::memcpy(q, kept + from, 64);
      q += n - from;
    }
    m = next;
    parity = next_parity;
    p += 64;
  }
  in = p;
  out = q;
  carried = state_of(state);
}

}  // namespace
}  // namespace veltrim
