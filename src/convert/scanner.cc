// Character scanner: blank normalisation, comment removal and blank skipping.
#include "convert/converter.h"

namespace veltrim {

int read_byte(ConverterState& st) {
  // A failed read leaves io_count at 0, so it ends the scan exactly like the end of input;
  // the stream remembers the failure for the driver's report.
  in_read_byte(*st.in_file, &st.cur[0], &st.io_count);
  if (st.io_count == 0) return 0;
  if (is_blank(st.cur[0])) st.cur[0] = ' ';
  return 1;
}

int read_char(ConverterState& st) {
  if (!read_byte(st)) return 0;
  // Loops so that a comment directly after another one is removed too.
  while (st.cur[0] == '/') {
    if (!read_byte(st)) {
      // A failed look-ahead leaves open whether the '/' starts a comment: keep it back, so
      // that the output stays a prefix of what a sound read would have given.
      if (st.in_file->failed) return 0;
      // The input ends right after the '/': it is an ordinary last character.
      st.cur[0] = '/';
      st.io_count = 1;
      return 1;
    }
    if (st.cur[0] != '*') {
      // Not a comment: give back the look-ahead byte for the next read.
      st.cur[0] = '/';
      st.io_count = 1;
      in_step_back(*st.in_file);
      return 1;
    }
    // Inside a comment. `prev` starts at '/', not '*', so that "/*/" does not close it.
    unsigned char prev = '/';
    int more;
    while ((more = read_byte(st)) != 0) {
      unsigned char before = prev;
      prev = st.cur[0];
      if (before == '*' && prev == '/') break;
    }
    // An input that ends inside a comment ends the scan; otherwise the comment is followed
    // by the next character, which may open another comment.
    if (!more || !read_byte(st)) return 0;
  }
  return 1;
}

int skip_blanks(ConverterState& st) {
  st.blank_seen = 0;
  int got = read_char(st);
  while (got && st.cur[0] == ' ') {
    st.blank_seen = 1;
    got = read_char(st);
  }
  return got;
}

}  // namespace veltrim
