// ASCII letter case, the one case that names compare in without asking the system: the ".css"
// rule, Windows device names and the setup's PATH entries. Only A-Z change; every other byte
// of UTF-8 or WTF-8 and every other UTF-16 unit stays as it is, so a multi-byte character is
// never folded into ASCII.
#pragma once

namespace veltrim {

// A byte (char, unsigned char) or a UTF-16 unit (char16_t, wchar_t), A-Z lowered.
template <class Unit>
constexpr Unit ascii_lower(Unit u) {
  return u >= Unit{'A'} && u <= Unit{'Z'} ? static_cast<Unit>(u - Unit{'A'} + Unit{'a'}) : u;
}

}  // namespace veltrim
