// UTF-16 strings in the system's wide unit, for the tests of names.
#pragma once

#include <string>

#include "text/codec.h"

namespace veltrim {

using Wide = std::basic_string<WideUnit>;

// Unit by unit: mingw's GCC 12 warns, wrongly, of an overread on the range constructor.
inline Wide wide(const std::u16string& s) {
  Wide w;
  for (char16_t c : s) w.push_back(static_cast<WideUnit>(c));
  return w;
}

}  // namespace veltrim
