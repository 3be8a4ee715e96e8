// The unit for any processor: the plain loops of masks.h.
#include "fast/generic/kernel.h"

namespace veltrim {
namespace {

struct Plain {
  static void classify(const unsigned char* p, CharMasks& m) { classify_plain(p, 64, m); }
  static unsigned char* write_kept(const unsigned char* p, std::uint64_t spaces, std::uint64_t keep,
                                   unsigned char* q) {
    return write_kept_plain(p, spaces, keep, q);
  }
};

}  // namespace

// Constant-initialised: no code of the unit runs before the choice is made.
extern constexpr IsaUnit kPlainUnit = unit_for<Plain>();

}  // namespace veltrim
