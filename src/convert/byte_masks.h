// Bit masks of the bytes that the bulk path of the rule copier looks at, for up to 64 bytes
// at a time, made with the widest vector instructions the processor offers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace veltrim {

// The characters that can end a part, by the kind of part: a selector ends at ',' or '{', a
// property at ':' (or, before its first character, at the '}' of an empty block), a value at
// ';' or '}'. Elsewhere they are plain, like ':' in "a:hover" or ',' in "rgba(0, 0, 0)".
enum Stops : unsigned char { SELECTOR_STOPS, PROPERTY_STOPS, VALUE_STOPS };

// Bit i tells about byte i.
struct ByteMasks {
  std::uint64_t space = 0;
  std::uint64_t blank = 0;            // TAB, LF, CR, space
  std::uint64_t stop[3] = {0, 0, 0};  // by Stops
  std::uint64_t slash = 0;
  std::uint64_t star = 0;
};

// Fills m for p[0, n), n <= 64; the bits from n on are 0.
void classify_bytes(const unsigned char* p, std::size_t n, ByteMasks& m);

// The vector width in bytes that the bulk kernel in use, and classify_bytes, classify full
// blocks with: 64, 32, 16, or 0 for the plain loop. The widest the processor runs is chosen
// at start.
int classifier_width();
// For tests and benchmarks: uses the kernel and classifier of the given width from now on;
// false (and no change) when this processor or build cannot.
bool use_classifier_width(int width);

}  // namespace veltrim
