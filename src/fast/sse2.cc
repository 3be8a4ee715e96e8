// The unit for SSE2, which every x86-64 processor has: masks 16 bytes at a time. SSE2 has no
// byte shuffle, so kept bytes are written by the plain loop.
#include <emmintrin.h>

#include "fast/generic/kernel.h"

namespace veltrim {
namespace {

struct Sse2 {
  static void classify(const unsigned char* p, CharMasks& m) {
    m = CharMasks();
    for (unsigned i = 0; i < 4; ++i) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
      auto eq = [&v](unsigned char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(c))); };
      auto bits = [i](__m128i x) {
        return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(x))) << (16 * i);
      };
      const __m128i space = eq(' ');
      __m128i blank = space;
      for (unsigned char c : kBlanks) blank = _mm_or_si128(blank, eq(c));
      m.space |= bits(space);
      m.blank |= bits(blank);
      m.comma |= bits(eq(','));
      m.open |= bits(eq('{'));
      m.close |= bits(eq('}'));
      m.colon |= bits(eq(':'));
      m.semi |= bits(eq(';'));
      m.slash |= bits(eq('/'));
      m.star |= bits(eq('*'));
    }
  }
  static unsigned char* write_kept(const unsigned char* p, std::uint64_t spaces,
                                   std::uint64_t keep, unsigned char* q) {
    return write_kept_plain(p, spaces, keep, q);
  }
};

StretchEnd convert(const unsigned char* in, const unsigned char* in_end, unsigned char* out,
                   unsigned char* out_end, StretchState& state) {
  return convert_stretch<Sse2>(in, in_end, out, out_end, state);
}

}  // namespace

extern const IsaUnit kSse2Unit = {convert, Sse2::classify, Sse2::write_kept};

}  // namespace veltrim
