// The fast path over the tool's streams. The driver converts through it; the per-character
// machine (convert/converter.h) is the reference it is tested against, byte for byte.
#pragma once

#include "io/stream.h"

namespace veltrim {

// Converts the whole input into the output exactly as convert_sheet would, straight between
// the stream buffers, refilling and flushing them as it goes. Stops at the end of input or at
// the first read or write that fails, as convert_sheet does; the streams' own flags tell
// which. Leaves the output open.
void copy_in_bulk(InStream& in, OutStream& out);

}  // namespace veltrim
