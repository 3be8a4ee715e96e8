// Writes a benchmark stylesheet to a file: the generated sheet, or one of the shapes.
//
//   gen_css OUT.css MEGABYTES [crlf | SHAPE]   (SHAPE: the number of a shape; see the usage)
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "stylesheet_gen.h"

int main(int argc, char** argv) {
  using veltrim::bench::Shape;
  if (argc < 3) {
    std::fprintf(stderr, "usage: gen_css OUT.css MEGABYTES [crlf | SHAPE]\nshapes:\n");
    for (int s = 0; s < static_cast<int>(Shape::kCount); ++s) {
      std::fprintf(stderr, "  %d  %s\n", s, veltrim::bench::shape_name(static_cast<Shape>(s)));
    }
    return 2;
  }
  const auto bytes = static_cast<std::size_t>(std::atof(argv[2]) * 1000 * 1000);
  Shape shape = Shape::kGenerated;
  if (argc > 3) {
    const int n = std::atoi(argv[3]);
    shape = std::strcmp(argv[3], "crlf") == 0               ? Shape::kGeneratedCrlf
            : n >= 0 && n < static_cast<int>(Shape::kCount) ? static_cast<Shape>(n)
                                                            : Shape::kGenerated;
  }
  const std::string css = veltrim::bench::make_shape(shape, bytes);
  std::FILE* f = std::fopen(argv[1], "wb");
  if (!f || std::fwrite(css.data(), 1, css.size(), f) != css.size() || std::fclose(f) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
