// Rule copier: the selector and declaration state machine and the line-form output.
#include "convert/converter.h"

namespace veltrim {

namespace {

// Writes cur[0..size) (one byte, or "}" CR LF); 0 when the write failed.
int write_cur(ConverterState& st, std::uint32_t size) {
  return out_write(*st.out_file, st.cur, size) ? 1 : 0;
}

// A space goes out through cur[0] like every other byte, the current character kept aside.
int write_space(ConverterState& st) {
  unsigned char saved = st.cur[0];
  st.cur[0] = ' ';
  int ok = write_cur(st, 1);
  st.cur[0] = saved;
  return ok;
}

// '}' CR LF in one write: the end of a rule.
int write_rule_end(ConverterState& st) {
  st.cur[0] = '}';
  st.cur[1] = '\r';
  st.cur[2] = '\n';
  return write_cur(st, 3);
}

}  // namespace

int put_char(ConverterState& st) {
  if (st.blank_seen && !write_space(st)) return 0;
  return write_cur(st, 1);
}

// Every step returns COPY_EOF as soon as a write fails, so the conversion stops at the first
// failed write instead of running on to the next rule end.

CopyResult copy_selector(ConverterState& st) {
  if (!skip_blanks(st)) return COPY_EOF;
  st.blank_seen = 0;  // blanks before a selector are dropped
  for (;;) {
    unsigned char c = st.cur[0];
    // Blanks before the ',' or '{' that ends the selector are dropped.
    if (st.blank_seen && c != '{' && c != ',' && !write_space(st)) return COPY_EOF;
    if (!write_cur(st, 1)) return COPY_EOF;
    if (c == ',') return COPY_MORE;
    if (c == '{') return COPY_DONE;
    if (!skip_blanks(st)) return COPY_EOF;
  }
}

CopyResult copy_selector_list(ConverterState& st) {
  CopyResult r;
  do {
    r = copy_selector(st);
  } while (r == COPY_MORE);
  return r;
}

CopyResult copy_declaration(ConverterState& st) {
  if (!skip_blanks(st)) return COPY_EOF;
  st.blank_seen = 0;  // blanks at the start of a declaration are dropped
  // An empty block, or one whose last declaration ended with ';'.
  if (st.cur[0] == '}') return write_rule_end(st) ? COPY_DONE : COPY_EOF;

  // Property part: runs to the first ':'; '{', '}' and ';' before it are ordinary.
  for (;;) {
    if (!put_char(st)) return COPY_EOF;
    if (st.cur[0] == ':') break;
    if (!skip_blanks(st)) return COPY_EOF;
  }

  if (!skip_blanks(st)) return COPY_EOF;
  st.blank_seen = 0;  // blanks after the ':' are dropped

  // Value part: runs to ';' or '}'; further ':' are ordinary.
  for (;;) {
    if (st.cur[0] == '}') {
      if (st.blank_seen && !write_space(st)) return COPY_EOF;
      return write_rule_end(st) ? COPY_DONE : COPY_EOF;
    }
    if (!put_char(st)) return COPY_EOF;
    if (st.cur[0] == ';') return COPY_MORE;
    if (!skip_blanks(st)) return COPY_EOF;
  }
}

CopyResult copy_declaration_block(ConverterState& st) {
  CopyResult r;
  do {
    r = copy_declaration(st);
  } while (r == COPY_MORE);
  return r;
}

void convert_sheet(ConverterState& st) {
  // Selector list and declaration block alternate until one of them meets the end of input
  // or a failed read or write, each of which comes back as COPY_EOF.
  while (copy_selector_list(st) == COPY_DONE && copy_declaration_block(st) == COPY_DONE) {
  }
}

}  // namespace veltrim
