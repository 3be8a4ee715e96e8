// A deterministic, realistic stylesheet for benchmarks: the same bytes on every run.
#pragma once

#include <cstddef>
#include <string>

namespace veltrim::bench {

// About `bytes` bytes of indented rules, selector lists, comments, media blocks and long
// values, with CR LF line ends when `crlf`, else LF.
std::string make_stylesheet(std::size_t bytes, bool crlf);

}  // namespace veltrim::bench
