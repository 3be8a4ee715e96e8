// The event path's index of a block: for each kind of part, the bytes the copy machine has to
// look at there; and the plain steps around it (a comment's end, a run's copy). Written once
// and compiled into each unit, as the rest of generic/.
#pragma once

#include <cstdint>
#include <cstring>

#include "fast/fast_path.h"
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

}  // namespace
}  // namespace veltrim
