// The tool's messages as it prints them, from its own formats (driver/messages.h).
#pragma once

#include <cstdio>
#include <string>

namespace veltrim::testing {

// A message format filled with up to two names.
inline std::string message(const char* format, const std::string& a, const std::string& b = "") {
  char text[4096];
  std::snprintf(text, sizeof text, format, a.c_str(), b.c_str());
  return text;
}

}  // namespace veltrim::testing
