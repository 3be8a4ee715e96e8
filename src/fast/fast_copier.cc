// The fast path over the streams: stretch after stretch of the input buffer through the
// chosen unit's kernel, with refills and flushes between them.
#include "fast/bulk.h"
#include "fast/fast_path.h"

namespace veltrim {

void copy_in_bulk(InStream& in, OutStream& out) {
  const StretchKernel convert = active_unit().convert;
  StretchState state;
  // Flushes whole blocks only, and before reading on; refills only when everything read is
  // converted: the files see the same reads and writes as from the per-character path.
  while (out_flush_blocks(out) && (in_available(in) != 0 || in_refill(in))) {
    const unsigned char* const p = in_next(in);
    unsigned char* const q = out_next(out);
    const StretchEnd end = convert(p, p + in_available(in), q, q + out_room(out), state);
    in_consume(in, static_cast<std::size_t>(end.in - p));
    out_commit(out, static_cast<std::size_t>(end.out - q));
  }
  if (!out_flush_blocks(out) || in.failed) return;  // a '/' left pending stays unwritten
  // At the end of input a '/' is an ordinary last character.
  if (state.slash) {
    static const unsigned char kSlash[] = " /";
    const std::size_t space = state.machine.blanks && state.machine.middle ? 1 : 0;
    out_write(out, kSlash + 1 - space, 1 + space);
  }
}

}  // namespace veltrim
