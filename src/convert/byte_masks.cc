// The byte classifier behind the bulk path. A full block of 64 bytes goes to the widest
// variant that the processor runs, chosen once; the tail of the input takes the plain loop.
#include "convert/byte_masks.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// 256- and 512-bit variants, chosen at run time. Not on Windows: GCC there cannot align the
// stack for vectors wider than 16 bytes, so a spilled one would fault.
#if defined(__GNUC__) && defined(__x86_64__) && !defined(_WIN32)
#define VELTRIM_WIDE_VECTORS 1
#include <immintrin.h>
#endif

namespace veltrim {

namespace {

using Classify64 = void (*)(const unsigned char* p, ByteMasks& m);

std::uint64_t bit(bool b, std::size_t i) {
  return static_cast<std::uint64_t>(b) << i;
}

void classify_scalar(const unsigned char* p, std::size_t n, ByteMasks& m) {
  m = ByteMasks();
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char c = p[i];
    m.space |= bit(c == ' ', i);
    m.blank |= bit(c == ' ' || c == '\t' || c == '\n' || c == '\r', i);
    m.stop[SELECTOR_STOPS] |= bit(c == ',' || c == '{', i);
    m.stop[PROPERTY_STOPS] |= bit(c == ':' || c == '}', i);
    m.stop[VALUE_STOPS] |= bit(c == ';' || c == '}', i);
    m.slash |= bit(c == '/', i);
    m.star |= bit(c == '*', i);
  }
}

#if defined(__SSE2__)
void classify64_sse2(const unsigned char* p, ByteMasks& m) {
  m = ByteMasks();
  for (std::size_t i = 0; i < 4; ++i) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
    auto eq = [&v](char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); };
    auto bits = [i](__m128i x) {
      return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(x))) << (16 * i);
    };
    const __m128i sp = eq(' ');
    const __m128i close = eq('}');
    m.space |= bits(sp);
    m.blank |= bits(_mm_or_si128(_mm_or_si128(sp, eq('\t')), _mm_or_si128(eq('\n'), eq('\r'))));
    m.stop[SELECTOR_STOPS] |= bits(_mm_or_si128(eq(','), eq('{')));
    m.stop[PROPERTY_STOPS] |= bits(_mm_or_si128(eq(':'), close));
    m.stop[VALUE_STOPS] |= bits(_mm_or_si128(eq(';'), close));
    m.slash |= bits(eq('/'));
    m.star |= bits(eq('*'));
  }
}
#endif

#if defined(VELTRIM_WIDE_VECTORS)
// Lambdas would not inherit the target, hence the macros.
#define VELTRIM_EQ256(v, c) _mm256_cmpeq_epi8((v), _mm256_set1_epi8(c))
#define VELTRIM_BITS256(x, half) \
  (static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(x))) << (32 * (half)))

__attribute__((target("avx2"))) void classify64_avx2(const unsigned char* p, ByteMasks& m) {
  m = ByteMasks();
  for (std::size_t h = 0; h < 2; ++h) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * h));
    const __m256i sp = VELTRIM_EQ256(v, ' ');
    const __m256i close = VELTRIM_EQ256(v, '}');
    const __m256i controls = _mm256_or_si256(
        _mm256_or_si256(VELTRIM_EQ256(v, '\t'), VELTRIM_EQ256(v, '\n')), VELTRIM_EQ256(v, '\r'));
    m.space |= VELTRIM_BITS256(sp, h);
    m.blank |= VELTRIM_BITS256(_mm256_or_si256(sp, controls), h);
    m.stop[SELECTOR_STOPS] |=
        VELTRIM_BITS256(_mm256_or_si256(VELTRIM_EQ256(v, ','), VELTRIM_EQ256(v, '{')), h);
    m.stop[PROPERTY_STOPS] |= VELTRIM_BITS256(_mm256_or_si256(VELTRIM_EQ256(v, ':'), close), h);
    m.stop[VALUE_STOPS] |= VELTRIM_BITS256(_mm256_or_si256(VELTRIM_EQ256(v, ';'), close), h);
    m.slash |= VELTRIM_BITS256(VELTRIM_EQ256(v, '/'), h);
    m.star |= VELTRIM_BITS256(VELTRIM_EQ256(v, '*'), h);
  }
}

#define VELTRIM_EQ512(v, c) _mm512_cmpeq_epi8_mask((v), _mm512_set1_epi8(c))

__attribute__((target("avx512f,avx512bw"))) void classify64_avx512(const unsigned char* p,
                                                                   ByteMasks& m) {
  const __m512i v = _mm512_loadu_si512(p);
  const std::uint64_t sp = VELTRIM_EQ512(v, ' ');
  const std::uint64_t close = VELTRIM_EQ512(v, '}');
  m.space = sp;
  m.blank = sp | VELTRIM_EQ512(v, '\t') | VELTRIM_EQ512(v, '\n') | VELTRIM_EQ512(v, '\r');
  m.stop[SELECTOR_STOPS] = VELTRIM_EQ512(v, ',') | VELTRIM_EQ512(v, '{');
  m.stop[PROPERTY_STOPS] = VELTRIM_EQ512(v, ':') | close;
  m.stop[VALUE_STOPS] = VELTRIM_EQ512(v, ';') | close;
  m.slash = VELTRIM_EQ512(v, '/');
  m.star = VELTRIM_EQ512(v, '*');
}
#endif

struct Variant {
  int width;
  Classify64 classify;  // nullptr: the plain loop
};

// The widest first.
Variant variants[] = {
#if defined(VELTRIM_WIDE_VECTORS)
    {64, classify64_avx512},
    {32, classify64_avx2},
#endif
#if defined(__SSE2__)
    {16, classify64_sse2},
#endif
    {0, nullptr},
};

bool runs_here(int width) {
#if defined(VELTRIM_WIDE_VECTORS)
  __builtin_cpu_init();
  if (width == 64) return __builtin_cpu_supports("avx512bw");
  if (width == 32) return __builtin_cpu_supports("avx2");
#endif
  (void)width;
  return true;
}

Variant widest() {
  for (const Variant& v : variants) {
    if (runs_here(v.width)) return v;
  }
  return {0, nullptr};
}

Variant current = widest();

}  // namespace

void classify_bytes(const unsigned char* p, std::size_t n, ByteMasks& m) {
  if (n == 64 && current.classify != nullptr) {
    current.classify(p, m);
  } else {
    classify_scalar(p, n, m);
  }
}

int classifier_width() {
  return current.width;
}

bool use_classifier_width(int width) {
  for (const Variant& v : variants) {
    if (v.width == width && runs_here(width)) {
      current = v;
      return true;
    }
  }
  return false;
}

}  // namespace veltrim
