// A deterministic, realistic stylesheet for benchmarks: the same bytes on every run.
#pragma once

#include <cstddef>
#include <string>

namespace veltrim::bench {

// About `bytes` bytes of indented rules, selector lists, comments, media blocks and long
// values, with CR LF line ends when `crlf`, else LF.
std::string make_stylesheet(std::size_t bytes, bool crlf);

// The shapes real stylesheets have, for measuring each on its own.
enum class Shape {
  kGenerated,      // make_stylesheet, LF
  kGeneratedCrlf,  // the same with CR LF
  kMinified,       // the same with every blank and comment the line form drops left out
  kTokens2k,       // rules of custom properties (design tokens), each about 2 KiB
  kTokens8k,
  kTokens32k,
  kTokens128k,
  kOneRule,   // one rule of custom properties, the whole file long
  kNested,    // @media and @supports blocks holding rules, 2-space indent
  kComments,  // licence banners, long comments between and inside rules
  kCount
};
const char* shape_name(Shape shape);
// About `bytes` bytes of that shape.
std::string make_shape(Shape shape, std::size_t bytes);

}  // namespace veltrim::bench
