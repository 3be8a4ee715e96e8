// Line-form conversion: comments removed, blank runs dropped or squeezed to one space, every
// rule whole on one line ending in CR LF.
#pragma once

#include <cstdint>

#include "convert/blanks.h"
#include "io/stream.h"

namespace veltrim {

// The one record a conversion works on. The driver sets the two files; everything else
// starts at zero.
struct ConverterState {
  InStream* in_file = nullptr;
  OutStream* out_file = nullptr;
  // cur[0] is the current character: every read stores the byte read there, and a read that
  // transfers nothing leaves it as it was. cur[1] and cur[2] take CR LF for a rule end, so
  // that "}" CR LF leaves in one write.
  unsigned char cur[3] = {0, 0, 0};
  // Bytes the most recent read delivered into cur[0]: 1, or 0 after the end of input or a
  // failure. A '/' that read_char delivers after its look-ahead counts as the one byte.
  std::uint32_t io_count = 0;
  // 1 when the last skip_blanks passed at least one blank before cur[0].
  std::uint32_t blank_seen = 0;
};

// Result of the copy steps; 0 always means that the input ended or an I/O operation failed.
enum CopyResult : int {
  COPY_EOF = 0,   // stopped before the item was complete
  COPY_DONE = 1,  // a block was opened ('{') or closed ('}' CR LF)
  COPY_MORE = 2,  // a separator (',' or ';') was written; another item follows
};

// Scanner: hands out the input one character at a time. Each returns 1 when a character is
// in cur[0], 0 when the input has ended or a read failed.
int read_byte(ConverterState& st);    // one byte; blanks (TAB, LF, CR, space) become spaces
int read_char(ConverterState& st);    // like read_byte, with comments removed
int skip_blanks(ConverterState& st);  // the next non-blank; sets blank_seen

// Rule copier.
int put_char(ConverterState& st);  // a space if blank_seen, then cur[0]; 0 if a write failed
CopyResult copy_selector(ConverterState& st);           // up to and including ',' or '{'
CopyResult copy_selector_list(ConverterState& st);      // selectors up to '{'
CopyResult copy_declaration(ConverterState& st);        // up to and including ';' or '}'
CopyResult copy_declaration_block(ConverterState& st);  // declarations up to the rule's '}'

// Converts the whole input into the output. Stops at the end of input or at the first read
// or write that fails; the streams' own flags tell the driver which.
void convert_sheet(ConverterState& st);

}  // namespace veltrim
