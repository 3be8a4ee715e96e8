// Bulk path of the rule copier: converts the whole rules that the input buffer holds straight
// into the output buffer, without the per-character calls.
//
// It runs the same machine as copy_selector and copy_declaration, with the part it is in made
// explicit, and it works from an index of the bytes that matter (blanks and the characters
// that may end a part or open a comment), so that plain runs move in one step. It only ever
// commits whole rules: wherever it cannot finish one inside the buffers (the input buffer
// ends, the output buffer is nearly full, a comment runs past the buffer), it drops the
// unfinished rule and hands it to the per-character path, which goes on from the same place.
#include <cstring>

#include "convert/converter.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace veltrim {

namespace {

// Where the copier stands: at the start of a part (blanks there are dropped), or inside one.
enum Part : unsigned char {
  SELECTOR_START,  // copy_selector before its first character
  SELECTOR,
  DECLARATION_START,  // copy_declaration before its first character
  PROPERTY,
  VALUE_START,  // after the ':' that ends a property
  VALUE,
};

// A plain character moves a part from its start into its middle.
constexpr Part kAfterPlain[] = {SELECTOR, SELECTOR, PROPERTY, PROPERTY, VALUE, VALUE};
// Blanks before a plain character become one space only in the middle of a part.
constexpr bool kInMiddle[] = {false, true, false, true, false, true};

unsigned trailing_zeros(std::uint64_t m) {  // m != 0
#if defined(__GNUC__)
  return static_cast<unsigned>(__builtin_ctzll(m));
#else
  unsigned n = 0;
  for (; (m & 1) == 0; m >>= 1) ++n;
  return n;
#endif
}

bool is_blank(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The characters that can end a part, by the kind of part: a selector ends at ',' or '{', a
// property at ':' (or, before its first character, at the '}' of an empty block), a value at
// ';' or '}'. Elsewhere they are plain, like ':' in "a:hover" or ',' in "rgba(0, 0, 0)".
enum Stops : unsigned char { SELECTOR_STOPS, PROPERTY_STOPS, VALUE_STOPS };
constexpr Stops kStopsOf[] = {SELECTOR_STOPS, SELECTOR_STOPS, PROPERTY_STOPS,
                              PROPERTY_STOPS, VALUE_STOPS,    VALUE_STOPS};

bool is_stop(Stops stops, unsigned char c) {
  switch (stops) {
    case SELECTOR_STOPS:
      return c == ',' || c == '{';
    case PROPERTY_STOPS:
      return c == ':' || c == '}';
    default:
      return c == ';' || c == '}';
  }
}

// Index of a block of up to 64 bytes: bit i tells about byte i. An event is a byte that the
// machine has to look at in the kind of part it is in: a character that may end that part, a
// '/' that may open a comment, or a blank, except for a lone space between two plain
// characters, which the line form keeps as it is. Every other byte is copied with its run.
struct ByteIndex {
  const unsigned char* base = nullptr;  // first byte of the indexed block
  const unsigned char* end = nullptr;   // end of the input in the buffer
  std::uint64_t blank = 0;
  std::uint64_t event[3] = {0, 0, 0};  // by Stops

  void index_from(const unsigned char* p) {
    base = p;
    std::uint64_t stop[3] = {0, 0, 0};
    std::uint64_t space = 0;
    std::uint64_t slash = 0;
    std::uint64_t star = 0;
    blank = 0;
    std::size_t n = static_cast<std::size_t>(end - p);
    if (n > 64) n = 64;
#if defined(__SSE2__)
    if (n == 64) {
      for (std::size_t i = 0; i < 4; ++i) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
        auto eq = [&v](char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); };
        auto bits = [i](__m128i m) {
          return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(m)))
                 << (16 * i);
        };
        const __m128i sp = eq(' ');
        const __m128i close = eq('}');
        space |= bits(sp);
        blank |= bits(_mm_or_si128(_mm_or_si128(sp, eq('\t')), _mm_or_si128(eq('\n'), eq('\r'))));
        stop[SELECTOR_STOPS] |= bits(_mm_or_si128(eq(','), eq('{')));
        stop[PROPERTY_STOPS] |= bits(_mm_or_si128(eq(':'), close));
        stop[VALUE_STOPS] |= bits(_mm_or_si128(eq(';'), close));
        slash |= bits(eq('/'));
        star |= bits(eq('*'));
      }
    } else
#endif
    {
      for (std::size_t i = 0; i < n; ++i) {
        const unsigned char c = p[i];
        space |= static_cast<std::uint64_t>(c == ' ') << i;
        blank |= static_cast<std::uint64_t>(is_blank(c)) << i;
        for (int k = 0; k < 3; ++k) {
          stop[k] |= static_cast<std::uint64_t>(is_stop(static_cast<Stops>(k), c)) << i;
        }
        slash |= static_cast<std::uint64_t>(c == '/') << i;
        star |= static_cast<std::uint64_t>(c == '*') << i;
      }
    }
    const std::uint64_t valid = n == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1;
    // A '/' opens a comment when a '*' follows; after the last byte that is not known yet.
    const std::uint64_t last = n == 0 ? 0 : std::uint64_t{1} << (n - 1);
    const std::uint64_t opens = slash & ((star >> 1) | last);
    for (int k = 0; k < 3; ++k) {
      const std::uint64_t plain = ~(blank | stop[k] | opens) & valid;
      // Bytes outside the block count as unknown, so a space at either edge stays an event.
      const std::uint64_t quiet = space & (plain << 1) & (plain >> 1);
      event[k] = stop[k] | opens | (blank & ~quiet);
    }
  }

  // Makes p fall inside the indexed block; returns its offset there.
  unsigned offset_of(const unsigned char* p) {
    if (p >= base + 64 || p < base) index_from(p);
    return static_cast<unsigned>(p - base);
  }

  // The first event at or after p for a part with these stops, or end.
  const unsigned char* next_event(const unsigned char* p, Stops stops) {
    for (;;) {
      const unsigned off = offset_of(p);
      const std::uint64_t m = event[stops] >> off;
      if (m != 0) return p + trailing_zeros(m);
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
      p = m == 0 ? base + 64 : p + trailing_zeros(m);
      if (p < base + 64 || p >= end) return p < end ? p : end;
    }
  }
};

}  // namespace

void copy_rules_in_bulk(ConverterState& st) {
  InFile& in = *st.in_file;
  OutFile& out = *st.out_file;
  const unsigned char* const in_begin = in_next(in);
  const unsigned char* const in_end = in_begin + in_available(in);
  unsigned char* const out_begin = out_next(out);
  unsigned char* const out_end = out_begin + out_room(out);

  ByteIndex index;
  index.end = in_end;
  index.index_from(in_begin);
  const unsigned char* p = in_begin;
  unsigned char* q = out_begin;
  // Everything up to these has been converted into whole rules.
  const unsigned char* done_p = p;
  unsigned char* done_q = q;

  Part part = SELECTOR_START;
  bool blanks = false;  // blanks (or blanks and comments) stand before p
  // A part has just begun, where blanks are dropped. The index knows only the kind of part
  // the copier is in, so it could take a lone space after the last character of the part
  // before for a quiet one: skip such blanks here.
  auto skip_blanks_at_start = [&] {
    if (p != in_end && is_blank(*p)) p = index.skip_blanks(p);
  };
  for (;;) {
    const unsigned char* e = index.next_event(p, kStopsOf[part]);
    // Room for the plain run, a space, and the longest single output, "}" CR LF.
    if (out_end - q < (e - p) + 4) break;
    if (e != p) {
      // A run of plain characters: the first decides the space, the rest are copied as is.
      if (blanks && kInMiddle[part]) *q++ = ' ';
      part = kAfterPlain[part];
      blanks = false;
      const std::size_t n = static_cast<std::size_t>(e - p);
      if (n <= 32 && in_end - p >= 32 && out_end - q >= 32) {
        std::memcpy(q, p, 32);  // one fixed-size move; only n bytes are kept
      } else {
        std::memcpy(q, p, n);
      }
      q += n;
      p = e;
    }
    if (e == in_end) break;

    const unsigned char c = *e;
    if (is_blank(c)) {
      blanks = true;
      p = index.skip_blanks(e);
      continue;
    }
    ++p;
    switch (c) {
      case ',':
      case '{':
        if (part <= SELECTOR) {
          // Blanks before the end of a selector are dropped.
          *q++ = c;
          part = c == ',' ? SELECTOR_START : DECLARATION_START;
          blanks = false;
          skip_blanks_at_start();
          continue;
        }
        break;
      case ':':
        if (part == DECLARATION_START || part == PROPERTY) {
          if (blanks && part == PROPERTY) *q++ = ' ';
          *q++ = ':';
          part = VALUE_START;
          blanks = false;
          skip_blanks_at_start();
          continue;
        }
        break;
      case ';':
        if (part == VALUE_START || part == VALUE) {
          if (blanks && part == VALUE) *q++ = ' ';
          *q++ = ';';
          part = DECLARATION_START;
          blanks = false;
          skip_blanks_at_start();
          continue;
        }
        break;
      case '}':
        if (part == DECLARATION_START || part == VALUE_START || part == VALUE) {
          if (blanks && part == VALUE) *q++ = ' ';
          *q++ = '}';
          *q++ = '\r';
          *q++ = '\n';
          part = SELECTOR_START;
          blanks = false;
          done_p = p;
          done_q = q;
          skip_blanks_at_start();
          continue;
        }
        break;
      case '/':
        // Needs the byte after it to tell a comment from a plain '/'.
        if (p == in_end) goto unfinished;
        if (*p == '*') {
          // The comment closes at the first "*/" after the opening pair; it stands for
          // nothing, so blanks on either side of it still make one run.
          const unsigned char* x = p + 1;
          while (x + 1 < in_end && !(x[0] == '*' && x[1] == '/')) ++x;
          if (x + 1 >= in_end) goto unfinished;
          p = x + 2;
          // The closing '/' looks plain to the index, so a lone space after it would pass
          // as quiet: take any blanks here as the run they are.
          if (p < in_end && is_blank(*p)) {
            blanks = true;
            p = index.skip_blanks(p);
          }
          continue;
        }
        break;
      default:
        break;
    }
    // A character that does not end the part it stands in: plain.
    if (blanks && kInMiddle[part]) *q++ = ' ';
    part = kAfterPlain[part];
    blanks = false;
    *q++ = c;
  }
unfinished:
  if (done_p == in_begin) return;
  in_consume(in, static_cast<std::size_t>(done_p - in_begin));
  out_commit(out, static_cast<std::size_t>(done_q - out_begin));
  // As the per-character path leaves it after a rule end.
  st.cur[0] = '}';
  st.cur[1] = '\r';
  st.cur[2] = '\n';
  st.io_count = 3;
}

}  // namespace veltrim
