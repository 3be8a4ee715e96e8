// The blanks: the line form drops a run of them or squeezes it to one space. Bytes 11 (VT) and
// 12 (FF) are not among them.
#pragma once

namespace veltrim {

// Not inline: each file that includes this has a copy of its own, so that no file compiled
// for a wider instruction set shares a symbol with another.
constexpr unsigned char kBlanks[] = {' ', '\t', '\n', '\r'};

}  // namespace veltrim
