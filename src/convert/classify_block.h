// The byte classifier of the bulk path, as inline code for the translation unit that
// includes it: each unit is compiled for one instruction set (see bulk_kernels.h) and gets
// the widest classifier that set allows, inlined into its copy of the bulk kernel.
#pragma once

#include <cstddef>
#include <cstdint>

#include "convert/block_plan.h"
#include "convert/byte_masks.h"

#if defined(__AVX512BW__) || defined(__AVX2__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace veltrim {
namespace {  // a copy per unit: the copies differ in their instructions

inline std::uint64_t bit(bool b, std::size_t i) {
  return static_cast<std::uint64_t>(b) << i;
}

// The plain loop: any n <= 64, any processor.
inline void classify_scalar(const unsigned char* p, std::size_t n, ByteMasks& m) {
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

struct ScalarClassifier {
  static constexpr int kWidth = 0;
  static constexpr bool kBlocks = false;
  static void classify64(const unsigned char* p, ByteMasks& m) { classify_scalar(p, 64, m); }
};

#if defined(__AVX512BW__)
struct VectorClassifier {
  static constexpr int kWidth = 64;
  static void classify64(const unsigned char* p, ByteMasks& m) {
    const __m512i v = _mm512_loadu_si512(p);
    auto eq = [&v](char c) -> std::uint64_t {
      return _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(c));
    };
    const std::uint64_t close = eq('}');
    m.space = eq(' ');
    m.blank = m.space | eq('\t') | eq('\n') | eq('\r');
    m.stop[SELECTOR_STOPS] = eq(',') | eq('{');
    m.stop[PROPERTY_STOPS] = eq(':') | close;
    m.stop[VALUE_STOPS] = eq(';') | close;
    m.slash = eq('/');
    m.star = eq('*');
  }

#if defined(__AVX512VBMI2__)
  // Whole blocks planned from their masks and written by compressing the kept bytes.
  static constexpr bool kBlocks = true;
  static void char_masks(const unsigned char* p, CharMasks& m) {
    const __m512i v = _mm512_loadu_si512(p);
    auto eq = [&v](char c) -> std::uint64_t {
      return _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(c));
    };
    m.blank = eq(' ') | eq('\t') | eq('\n') | eq('\r');
    m.comma = eq(',');
    m.open = eq('{');
    m.close = eq('}');
    m.colon = eq(':');
    m.semi = eq(';');
    m.slash = eq('/');
    m.star = eq('*');
  }
  // Writes the bytes of p[0, 64) that `keep` selects, in order and those in `spaces` as a
  // space, in one 64-byte store at q (which has room for it); returns the end of what they
  // fill.
  static unsigned char* write_kept(const unsigned char* p, std::uint64_t spaces, std::uint64_t keep,
                                   unsigned char* q) {
    const __m512i v = _mm512_loadu_si512(p);
    const __m512i text = _mm512_mask_blend_epi8(spaces, v, _mm512_set1_epi8(' '));
    _mm512_storeu_si512(q, _mm512_maskz_compress_epi8(keep, text));
    return q + _mm_popcnt_u64(keep);
  }
#else
  static constexpr bool kBlocks = false;
#endif
};
#elif defined(__AVX2__)
struct VectorClassifier {
  static constexpr int kWidth = 32;
  static constexpr bool kBlocks = false;
  static void classify64(const unsigned char* p, ByteMasks& m) {
    m = ByteMasks();
    for (std::size_t h = 0; h < 2; ++h) {
      const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * h));
      auto eq = [&v](char c) { return _mm256_cmpeq_epi8(v, _mm256_set1_epi8(c)); };
      auto bits = [h](__m256i x) {
        return static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(x)))
               << (32 * h);
      };
      const __m256i sp = eq(' ');
      const __m256i close = eq('}');
      m.space |= bits(sp);
      m.blank |=
          bits(_mm256_or_si256(_mm256_or_si256(sp, eq('\t')), _mm256_or_si256(eq('\n'), eq('\r'))));
      m.stop[SELECTOR_STOPS] |= bits(_mm256_or_si256(eq(','), eq('{')));
      m.stop[PROPERTY_STOPS] |= bits(_mm256_or_si256(eq(':'), close));
      m.stop[VALUE_STOPS] |= bits(_mm256_or_si256(eq(';'), close));
      m.slash |= bits(eq('/'));
      m.star |= bits(eq('*'));
    }
  }
};
#elif defined(__SSE2__)
struct VectorClassifier {
  static constexpr int kWidth = 16;
  static constexpr bool kBlocks = false;
  static void classify64(const unsigned char* p, ByteMasks& m) {
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
};
#endif

}  // namespace
}  // namespace veltrim
