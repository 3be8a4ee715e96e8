// Writes the benchmark stylesheet to a file.
//
//   gen_css OUT.css MEGABYTES [crlf]
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "stylesheet_gen.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: gen_css OUT.css MEGABYTES [crlf]\n");
    return 2;
  }
  const auto bytes = static_cast<std::size_t>(std::atof(argv[2]) * 1000 * 1000);
  const bool crlf = argc > 3 && std::strcmp(argv[3], "crlf") == 0;
  const std::string css = veltrim::bench::make_stylesheet(bytes, crlf);
  std::FILE* f = std::fopen(argv[1], "wb");
  if (!f || std::fwrite(css.data(), 1, css.size(), f) != css.size() || std::fclose(f) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
