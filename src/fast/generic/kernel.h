// The fast path's copy machine over raw buffers, written once and compiled into each
// instruction set's unit, which supplies `Unit`: classify(p, masks) for 64 bytes and
// write_kept(p, spaces, keep, q) (see fast_path.h).
//
// It runs the same machine as copy_selector and copy_declaration, with the part it is in made
// explicit. Where it can, it takes 64 bytes at a time by a plan worked out from their masks
// alone (block_loop.h); a block that will not plan goes by events: an index of the bytes that
// matter (byte_index.h), so that plain runs move in one step. Each kind of part has a loop of
// its own over its events, since its events are few and branches of its own are easier to
// predict than one switch over all of them. The machine stops only where the input or the
// room in the output ends, and leaves what is pending (the part, a blank run, a '/' or a
// comment cut by the buffer's end) in StretchState for the next stretch.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fast/fast_path.h"
#include "fast/generic/block_loop.h"
#include "fast/generic/byte_index.h"
#include "fast/generic/masks.h"

namespace veltrim {
namespace {  // a copy per unit, as in masks.h

// Room around a run of events: the 64-byte moves of short runs, a space, and "}" CR LF.
constexpr std::ptrdiff_t kRunRoom = 64 + 4;
static_assert(kRunRoom + 1 <= static_cast<std::ptrdiff_t>(kStretchRoom),
              "a stretch given kStretchRoom must be able to move a run");

// Where a part's loop leaves the machine: the part it goes on in, or the stretch's stop.
enum PartExit : unsigned char {
  EXIT_TO_SELECTOR = IN_SELECTOR,
  EXIT_TO_PROPERTY = IN_PROPERTY,
  EXIT_TO_VALUE = IN_VALUE,
  EXIT_STOP,
};
constexpr PartExit exit_to(Part part) { return static_cast<PartExit>(part); }

// The machine's place in a stretch, and the steps that every part takes.
template <class Unit>
struct Machine {
  const unsigned char* in;            // the next byte to take
  unsigned char* out;                 // where the next byte goes
  const unsigned char* const in_end;
  unsigned char* const out_end;
  StretchState& pending;              // what the stretch leaves for the next one
  const unsigned char* event = nullptr;     // the event at hand
  const unsigned char* run_from = nullptr;  // where the last run of a selector began
  // Whole blocks go by plan from here on; after a block that would not, its bytes go by
  // events first.
  const unsigned char* blocks_from;
  bool middle;  // a plain character of the part has been written
  bool blanks;  // blanks (or blanks and comments) stand before `in`
  ByteIndex<Unit> index;

  Machine(const unsigned char* in_begin, const unsigned char* in_limit, unsigned char* out_begin,
          unsigned char* out_limit, StretchState& state)
      : in(in_begin), out(out_begin), in_end(in_limit), out_end(out_limit), pending(state),
        blocks_from(in_begin), middle(state.machine.middle), blanks(state.machine.blanks) {
    index.end = in_limit;
    index.index_from(in_begin);
  }

  // Blanks (and comments) before a character in the middle of a part leave one space.
  VELTRIM_INLINE void put_pending_space() {
    if (blanks && middle) *out++ = ' ';
  }

  // Moves the plain run [in, event) and tells whether `event` is one to look at: false at the
  // end of the buffered input and when the output has no room for what comes next. A run
  // longer than the room goes in part, and the stretch stops there. The part always ends
  // before the run's last byte, so a space at its end is a quiet one between two plain bytes,
  // which goes out as it is: only the space right before a selector's end is taken back.
  VELTRIM_INLINE bool take_run() {
    bool whole = true;
    if (out_end - out < (event - in) + kRunRoom + 1) {
      const std::ptrdiff_t fits = out_end - out - kRunRoom - 1;
      if (fits <= 0) return false;
      event = in + fits;
      whole = false;
    }
    if (event != in) {
      // The first plain character decides the space; the rest are copied as they are.
      put_pending_space();
      const auto n = static_cast<std::size_t>(event - in);
      copy_run(out, in, n, in_end);
      out += n;
      in = event;
      middle = true;
      blanks = false;
    }
    return whole && event != in_end;
  }

  // The next event for a part of this kind, after the plain run before it; false when the
  // stretch stops before it.
  VELTRIM_INLINE bool next_event(Part part) {
    event = index.next_event(in, part);
    run_from = in;
    return take_run();
  }

  // Writes the event character c as a plain one, with the space that blanks before it
  // become in the middle of a part.
  VELTRIM_INLINE void put_plain(unsigned char c) {
    put_pending_space();
    *out++ = c;
    in = event + 1;
    middle = true;
    blanks = false;
  }

  // After the character that ends a part: the next part starts, and blanks there are dropped.
  // The index knows only the kind of part the copier is in, so it could take a lone space
  // after the last character of the part before for a quiet one: they are skipped here.
  VELTRIM_INLINE void start_part() {
    in = index.skip_blanks(event + 1);
    middle = false;
    blanks = false;
  }

  // A blank run is an event where it is not a lone space between plain characters.
  VELTRIM_INLINE void take_blanks() {
    in = index.skip_blanks(event);
    blanks = true;
  }

  // The '}' at the event ends the rule: it leaves with CR LF, and a selector starts.
  VELTRIM_INLINE PartExit end_rule() {
    out[0] = '}';
    out[1] = '\r';
    out[2] = '\n';
    out += 3;
    start_part();
    return EXIT_TO_SELECTOR;
  }

  // Moves `in` past the end of the comment it is in, whose text goes on there; `star` tells
  // that the byte before was a '*' of its text. False when it runs on past the stretch: then
  // it is pending. A comment stands for nothing, so blanks on either side of it make one
  // run; its closing '/' looks plain to the index, so a lone space after it would pass as
  // quiet: any blanks after it are taken here as the run they are.
  VELTRIM_INLINE bool leave_comment(bool star) {
    const unsigned char* const after = comment_end(in, in_end, star);
    if (after == nullptr) {
      pending.machine.comment = true;
      pending.machine.star = in_end > in ? in_end[-1] == '*' : star;
      in = in_end;
      return false;
    }
    pending.machine.comment = false;
    in = after;
    if (in < in_end && is_blank(*in)) {
      blanks = true;
      in = index.skip_blanks(in);
    }
    return true;
  }

  // A '/' at the event that may open a comment. False when the stretch ends before that is
  // settled (then the '/' or the comment is pending); true when `in` has moved past the
  // comment, or the '/' was plain.
  VELTRIM_INLINE bool take_slash() {
    if (event + 1 == in_end) {
      pending.slash = true;
      in = in_end;
      return false;
    }
    if (event[1] != '*') {
      put_plain('/');
      return true;
    }
    in = event + 2;
    return leave_comment(false);
  }

  // What the stretch before left pending: a '/' at its end, then a comment it cut. False
  // when the stretch stops in it.
  VELTRIM_INLINE bool take_pending() {
    if (in == in_end) return false;
    if (pending.slash) {
      pending.slash = false;
      if (*in == '*') {
        pending.machine.comment = true;
        pending.machine.star = false;
        ++in;
      } else {
        put_pending_space();
        *out++ = '/';
        middle = true;
        blanks = false;
      }
    }
    return !pending.machine.comment || leave_comment(pending.machine.star);
  }

  // Whole blocks by plan from `in`, in `part`, which they move on; false when the stretch
  // stops in a comment that the last of them left open. Events take the next 64 bytes after
  // them, or the rest of the buffered input when that is shorter.
  VELTRIM_INLINE bool take_blocks(Part& part) {
    MachineState state{part, middle, blanks};
    convert_blocks<Unit>(in, out, state, in_end, out_end);
    blocks_from = in_end - in > 64 ? in + 64 : in_end;
    part = state.part;
    middle = state.middle;
    blanks = state.blanks;
    return !state.comment || leave_comment(state.star);
  }

  StretchEnd stop(Part part) {
    pending.machine.part = part;
    pending.machine.middle = middle;
    pending.machine.blanks = blanks;
    return StretchEnd{in, out};
  }
};

// The events of one kind of part until it changes or the blocks may take over: a '/' that
// may open a comment and a run of blanks go alike in every part; `on_end(c)` takes a
// character that may end the part and returns where the machine goes on (this part, when it
// does not end it). Each part is its own instance, with branches of its own.
template <class Unit, class OnEnd>
VELTRIM_INLINE PartExit part_events(Machine<Unit>& m, Part part, OnEnd on_end) {
  do {
    if (!m.next_event(part)) return EXIT_STOP;
    const unsigned char c = *m.event;
    if (c == '/') {
      if (!m.take_slash()) return EXIT_STOP;
    } else if (is_blank(c)) {
      m.take_blanks();
    } else {
      const PartExit next = on_end(c);
      if (next != exit_to(part)) return next;
    }
  } while (m.in < m.blocks_from);
  return exit_to(part);
}

// copy_selector: up to ',' or '{'; blanks before either are dropped.
template <class Unit>
VELTRIM_INLINE PartExit selector_events(Machine<Unit>& m) {
  return part_events(m, IN_SELECTOR, [&m](unsigned char c) {
    m.out -= m.event != m.run_from && m.event[-1] == ' ';  // a quiet space that ended the run
    *m.out++ = c;
    m.start_part();
    return c == '{' ? EXIT_TO_PROPERTY : EXIT_TO_SELECTOR;
  });
}

// copy_declaration before the ':': up to ':', or the '}' of an empty declaration; inside a
// property name, '}' is plain.
template <class Unit>
VELTRIM_INLINE PartExit property_events(Machine<Unit>& m) {
  return part_events(m, IN_PROPERTY, [&m](unsigned char c) {
    if (c == '}') {
      if (!m.middle) return m.end_rule();
      m.put_plain('}');
      return EXIT_TO_PROPERTY;
    }
    m.put_pending_space();
    *m.out++ = ':';
    m.start_part();
    return EXIT_TO_VALUE;
  });
}

// copy_declaration after the ':': up to ';', or the '}' that ends the rule.
template <class Unit>
VELTRIM_INLINE PartExit value_events(Machine<Unit>& m) {
  return part_events(m, IN_VALUE, [&m](unsigned char c) {
    m.put_pending_space();
    if (c == '}') return m.end_rule();
    *m.out++ = ';';
    m.start_part();
    return EXIT_TO_PROPERTY;
  });
}

template <class Unit>
StretchEnd convert_stretch(const unsigned char* const in_begin, const unsigned char* const in_end,
                           unsigned char* const out_begin, unsigned char* const out_end,
                           StretchState& state) {
  if (out_end - out_begin < static_cast<std::ptrdiff_t>(kStretchRoom)) {
    return StretchEnd{in_begin, out_begin};
  }
  Machine<Unit> m(in_begin, in_end, out_begin, out_end, state);
  Part part = state.machine.part;
  if (!m.take_pending()) return m.stop(part);
  for (;;) {
    // The events of each part lead back here when the part changes, and when the blocks may
    // take over; after the blocks, the events take at least the next block.
    if (m.in >= m.blocks_from && !m.take_blocks(part)) break;
    const PartExit next = part == IN_SELECTOR  ? selector_events(m)
                          : part == IN_PROPERTY ? property_events(m)
                                                : value_events(m);
    if (next == EXIT_STOP) break;
    part = static_cast<Part>(next);
  }
  return m.stop(part);
}

// The unit of the instruction set that `Unit` brings the primitives of.
template <class Unit>
constexpr IsaUnit unit_for() {
  return IsaUnit{convert_stretch<Unit>, Unit::classify, Unit::write_kept};
}

}  // namespace
}  // namespace veltrim
