// Bulk path of the rule copier: converts the whole rules that the stream buffers hold
// straight from the input buffer into the output buffer, through the bulk kernel
// (bulk_kernel.h) of the widest vectors the processor has.
#include "convert/bulk_kernels.h"
#include "convert/converter.h"

namespace veltrim {

void copy_rules_in_bulk(ConverterState& st) {
  InFile& in = *st.in_file;
  OutFile& out = *st.out_file;
  const unsigned char* const in_begin = in_next(in);
  unsigned char* const out_begin = out_next(out);
  const BulkEnd end =
      bulk_kernel()(in_begin, in_begin + in_available(in), out_begin, out_begin + out_room(out));
  if (end.in == in_begin) return;
  in_consume(in, static_cast<std::size_t>(end.in - in_begin));
  out_commit(out, static_cast<std::size_t>(end.out - out_begin));
  // As the per-character path leaves it after a rule end.
  st.cur[0] = '}';
  st.cur[1] = '\r';
  st.cur[2] = '\n';
  st.io_count = 3;
}

}  // namespace veltrim
