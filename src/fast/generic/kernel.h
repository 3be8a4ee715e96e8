// The fast path's copy machine over raw buffers, written once and compiled into each
// instruction set's unit, which supplies `Unit`: classify(p, masks) for 64 bytes and
// write_kept(p, spaces, keep, q) (see fast_path.h).
//
// It runs the same machine as copy_selector and copy_declaration, with the part it is in made
// explicit. Where it can, it takes 64 bytes at a time by a plan worked out from their masks
// alone (block_plan.h); a block that will not plan goes by events: an index of the bytes that
// matter (blanks and the characters that may end a part or open a comment), so that plain
// runs move in one step. It stops only where the input or the room in the output ends, and
// leaves what is pending (the part, a blank run, a '/' or a comment cut by the buffer's end)
// in StretchState for the next stretch.
#pragma once

#include <cstdint>
#include <cstring>

#include "fast/fast_path.h"
#include "fast/generic/block_plan.h"
#include "fast/generic/masks.h"

namespace veltrim {
namespace {  // a copy per unit, as in masks.h

// The characters that end a part, by its kind (Part).
inline std::uint64_t stops_of(const CharMasks& m, Part part) {
  switch (part) {
    case IN_SELECTOR:
      return m.comma | m.open;
    case IN_PROPERTY:
      return m.colon | m.close;
    default:
      return m.semi | m.close;
  }
}

// Index of a block of up to 64 bytes: bit i tells about byte i. An event is a byte that the
// machine has to look at in the kind of part it is in: a character that may end that part, a
// '/' that may open a comment, or a blank, except for a lone space that the line form keeps
// as it is (a quiet one). Every other byte is copied with its run.
template <class Unit>
struct ByteIndex {
  const unsigned char* base = nullptr;  // first byte of the indexed block
  const unsigned char* end = nullptr;   // end of the input in the buffer
  std::uint64_t blank = 0;
  std::uint64_t event[3] = {0, 0, 0};  // by Part

  void index_from(const unsigned char* p) {
    base = p;
    std::size_t n = static_cast<std::size_t>(end - p);
    if (n > 64) n = 64;
    CharMasks m;
    if (n == 64) {
      Unit::classify(p, m);
    } else {
      classify_plain(p, n, m);
    }
    blank = m.blank;
    const std::uint64_t valid = n == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1;
    // A '/' opens a comment when a '*' follows; after the last byte that is not known yet.
    const std::uint64_t last = n == 0 ? 0 : std::uint64_t{1} << (n - 1);
    const std::uint64_t opens = m.slash & ((m.star >> 1) | last);
    // After a plain character the copier is in the middle of a part, where one blank stays
    // one space before a plain character, and before ':' of a property or ';' and '}' of a
    // value too: before anything but a blank or a comment. Before the ',' or '{' that ends
    // a selector it is dropped: the copier takes that one back from the run it copied.
    // Bytes outside the block count as unknown, so a space at either edge stays an event.
    const std::uint64_t keeps = ~(m.blank | opens) & valid;
    const std::uint64_t kept_space = m.space & (keeps >> 1);
    const std::uint64_t fixed = opens | m.blank;
    for (unsigned part = IN_SELECTOR; part <= IN_VALUE; ++part) {
      const std::uint64_t stop = stops_of(m, static_cast<Part>(part));
      const std::uint64_t quiet = kept_space & ((keeps & ~stop) << 1);
      event[part] = stop | (fixed & ~quiet);
    }
  }

  // Makes p fall inside the indexed block; returns its offset there.
  unsigned offset_of(const unsigned char* p) {
    if (VELTRIM_UNLIKELY(p >= base + 64 || p < base)) index_from(p);
    return static_cast<unsigned>(p - base);
  }

  // The first event at or after p for a part of this kind, or end.
  const unsigned char* next_event(const unsigned char* p, Part part) {
    for (;;) {
      const unsigned off = offset_of(p);
      const std::uint64_t m = event[part] >> off;
      if (VELTRIM_LIKELY(m != 0)) return p + lowest_bit(m);
      p = base + 64;
      if (p >= end) return end;
    }
  }

  // The first byte at or after p that is not a blank, or end.
  const unsigned char* skip_blanks(const unsigned char* p) {
    for (;;) {
      const unsigned off = offset_of(p);
      // The bits shifted in turn into ones: a run of blanks stops at the block end at most.
      const std::uint64_t m = ~(blank >> off);
      p = m == 0 ? base + 64 : p + lowest_bit(m);
      if (p < base + 64 || p >= end) return p < end ? p : end;
    }
  }
};

// The end of a comment whose text starts at p, after its "/*": the byte after its "*/", or
// nullptr when it runs on past end. `star`: the byte before p was a '*' that may close it.
inline const unsigned char* comment_end(const unsigned char* p, const unsigned char* end,
                                        bool star) {
  if (p < end && star && *p == '/') return p + 1;
  for (const unsigned char* x = p; x < end; ++x) {
    x = static_cast<const unsigned char*>(std::memchr(x, '/', static_cast<std::size_t>(end - x)));
    if (x == nullptr) return nullptr;
    if (x > p && x[-1] == '*') return x + 1;
  }
  return nullptr;
}

// Copies a run of n plain bytes. Most runs are short: they take the same 64-byte move, which
// needs neither a library call nor a branch on the length; the output always has room.
inline void copy_run(unsigned char* q, const unsigned char* p, std::size_t n,
                     const unsigned char* in_end) {
  if (n <= 64 && in_end - p >= 64) {
    std::memcpy(q, p, 32);
    std::memcpy(q + 32, p + 32, 32);
  } else {
    std::memcpy(q, p, n);
  }
}

// Room in the output for one planned block: a space before its bytes, the 64 bytes, CR LF
// after each rule end (at most one for every two bytes, since the braces alternate), and the
// 64 bytes that every compressed store may write, however few of them it keeps.
constexpr std::ptrdiff_t kBlockRoom = 1 + 64 + 64 + 64;
// Room around a run of events: the 64-byte moves of short runs, a space, and "}" CR LF.
constexpr std::ptrdiff_t kRunRoom = 64 + 4;
static_assert(kBlockRoom <= static_cast<std::ptrdiff_t>(kStretchRoom) &&
                  kRunRoom + 1 <= static_cast<std::ptrdiff_t>(kStretchRoom),
              "a stretch given kStretchRoom must be able to move");

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

template <class Unit>
StretchEnd convert_stretch(const unsigned char* const in_begin, const unsigned char* const in_end,
                           unsigned char* const out_begin, unsigned char* const out_end,
                           StretchState& s) {
  const unsigned char* p = in_begin;
  unsigned char* q = out_begin;
  if (out_end - q < static_cast<std::ptrdiff_t>(kStretchRoom)) return StretchEnd{p, q};
  ByteIndex<Unit> index;
  index.end = in_end;
  index.index_from(p);

  // The part the copier is in is the block of code it runs: each kind of part has its own,
  // since its events are few and branches of its own are easier to predict than one switch
  // over all of them. Within a kind, `middle` tells a part's start from its middle.
  Part part = s.machine.part;
  bool middle = s.machine.middle;  // a plain character of the part has been written
  bool blanks = s.machine.blanks;  // blanks (or blanks and comments) stand before p
  const unsigned char* e = p;
  const unsigned char* run_from = p;  // where the last run of a selector began
  // Whole blocks go by plan from here on; after a block that would not, its bytes go by
  // events first.
  const unsigned char* blocks_from = p;
  MachineState state;

  // Blanks (and comments) before a character in the middle of a part leave one space.
  auto put_pending_space = [&]() {
    if (blanks && middle) *q++ = ' ';
  };
  // Moves the plain run [p, e) and tells whether e is an event to look at: false at the end
  // of the buffered input and when the output has no room for what comes next. A run longer
  // than the room goes in part, never up to a space, which a selector may still take back.
  auto take_run = [&]() {
    bool whole = true;
    if (out_end - q < (e - p) + kRunRoom + 1) {
      const std::ptrdiff_t fits = out_end - q - kRunRoom - 1;
      if (fits <= 0) return false;
      e = p + fits;
      while (e > p && e[-1] == ' ') --e;
      if (e == p) return false;
      whole = false;
    }
    if (e != p) {
      // The first plain character decides the space; the rest are copied as they are.
      put_pending_space();
      const std::size_t n = static_cast<std::size_t>(e - p);
      copy_run(q, p, n, in_end);
      q += n;
      p = e;
      middle = true;
      blanks = false;
    }
    return whole && e != in_end;
  };
  // Writes the event character c at e as a plain one, with the space that blanks before it
  // become in the middle of a part.
  auto put_plain = [&](unsigned char c) {
    put_pending_space();
    *q++ = c;
    p = e + 1;
    middle = true;
    blanks = false;
  };
  // After the character that ends a part: the next part starts, and blanks there are dropped.
  // The index knows only the kind of part the copier is in, so it could take a lone space
  // after the last character of the part before for a quiet one: they are skipped here.
  auto start_part = [&]() {
    p = index.skip_blanks(e + 1);
    middle = false;
    blanks = false;
  };
  // A blank run is an event where it is not a lone space between plain characters.
  auto take_blanks = [&]() {
    p = index.skip_blanks(e);
    blanks = true;
  };
  // After a comment: it stands for nothing, so blanks on either side of it make one run. Its
  // closing '/' looks plain to the index, so a lone space after it would pass as quiet: take
  // any blanks here as the run they are.
  auto after_comment = [&](const unsigned char* x) {
    p = x;
    if (p < in_end && is_blank_byte(*p)) {
      blanks = true;
      p = index.skip_blanks(p);
    }
  };
  // Moves p past the end of the comment it is in, whose text goes on at p; `star` tells that
  // the byte before p was a '*' of its text. False when it runs on past the stretch: then it
  // is pending in s.
  auto leave_comment = [&](bool star) {
    const unsigned char* x = comment_end(p, in_end, star);
    if (x == nullptr) {
      s.machine.comment = true;
      s.machine.star = in_end > p ? in_end[-1] == '*' : star;
      p = in_end;
      return false;
    }
    s.machine.comment = false;
    after_comment(x);
    return true;
  };
  // A '/' that may open a comment. Returns false when the stretch ends before that is
  // settled (then the '/' or the comment is pending in s); true when p has moved past the
  // comment, or the '/' was plain.
  auto take_slash = [&]() {
    if (e + 1 == in_end) {
      s.slash = true;
      p = in_end;
      return false;
    }
    if (e[1] != '*') {
      put_plain('/');
      return true;
    }
    p = e + 2;
    return leave_comment(false);
  };

  // What the stretch before left pending: a '/' at its end, then a comment it cut.
  if (p == in_end) goto stop;
  if (s.slash) {
    s.slash = false;
    if (*p == '*') {
      s.machine.comment = true;
      s.machine.star = false;
      ++p;
    } else {
      put_pending_space();
      *q++ = '/';
      middle = true;
      blanks = false;
    }
  }
  if (s.machine.comment && !leave_comment(s.machine.star)) goto stop;
  switch (part) {
    case IN_SELECTOR:
      goto selector;
    case IN_PROPERTY:
      goto property;
    default:
      goto value;
  }

selector:  // copy_selector: up to ',' or '{'; blanks before either are dropped
  part = IN_SELECTOR;
  if (p >= blocks_from) {
    state = MachineState{IN_SELECTOR, middle, blanks};
    goto blocks;
  }
selector_events:
  e = index.next_event(p, IN_SELECTOR);
  run_from = p;
  if (!take_run()) goto stop;
  switch (*e) {
    case ',':
      q -= e != run_from && e[-1] == ' ';  // a quiet space that ended the run
      *q++ = ',';
      start_part();
      goto selector;
    case '{':
      q -= e != run_from && e[-1] == ' ';
      *q++ = '{';
      start_part();
      goto property;
    case '/':
      if (!take_slash()) goto stop;
      goto selector;
    default:
      take_blanks();
      goto selector;
  }

property:  // copy_declaration before the ':': up to ':', or '}' of an empty declaration
  part = IN_PROPERTY;
  if (p >= blocks_from) {
    state = MachineState{IN_PROPERTY, middle, blanks};
    goto blocks;
  }
property_events:
  e = index.next_event(p, IN_PROPERTY);
  if (!take_run()) goto stop;
  switch (*e) {
    case ':':
      put_pending_space();
      *q++ = ':';
      start_part();
      goto value;
    case '}':
      if (middle) {
        put_plain('}');  // inside a property name, '}' is plain
        goto property;
      }
      goto rule_end;
    case '/':
      if (!take_slash()) goto stop;
      goto property;
    default:
      take_blanks();
      goto property;
  }

value:  // copy_declaration after the ':': up to ';', or the '}' that ends the rule
  part = IN_VALUE;
  if (p >= blocks_from) {
    state = MachineState{IN_VALUE, middle, blanks};
    goto blocks;
  }
value_events:
  e = index.next_event(p, IN_VALUE);
  if (!take_run()) goto stop;
  switch (*e) {
    case ';':
      put_pending_space();
      *q++ = ';';
      start_part();
      goto property;
    case '}':
      put_pending_space();
      goto rule_end;
    case '/':
      if (!take_slash()) goto stop;
      goto value;
    default:
      take_blanks();
      goto value;
  }

rule_end:  // '}' at e ends the rule: it leaves with CR LF
  *q++ = '}';
  *q++ = '\r';
  *q++ = '\n';
  start_part();
  goto selector;

blocks:
  convert_blocks<Unit>(p, q, state, in_end, out_end);
  // Events take the next 64 bytes, or the rest of the buffered input when that is shorter.
  blocks_from = in_end - p > 64 ? p + 64 : in_end;
  middle = state.middle;
  blanks = state.blanks;
  part = state.part;
  // A planned block may end inside a comment.
  if (state.comment && !leave_comment(state.star)) goto stop;
  switch (state.part) {
    case IN_SELECTOR:
      goto selector_events;
    case IN_PROPERTY:
      goto property_events;
    default:
      goto value_events;
  }

stop:
  s.machine.part = part;
  s.machine.middle = middle;
  s.machine.blanks = blanks;
  return StretchEnd{p, q};
}

// The unit of the instruction set that `Unit` brings the primitives of.
template <class Unit>
constexpr IsaUnit unit_for() {
  return IsaUnit{convert_stretch<Unit>, Unit::classify, Unit::write_kept};
}

}  // namespace
}  // namespace veltrim
