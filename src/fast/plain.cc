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

StretchEnd convert(const unsigned char* in, const unsigned char* in_end, unsigned char* out,
                   unsigned char* out_end, StretchState& state) {
  return convert_stretch<Plain>(in, in_end, out, out_end, state);
}

}  // namespace

extern const IsaUnit kPlainUnit = {convert, Plain::classify, Plain::write_kept};

}  // namespace veltrim
