#include "memory_io.h"

#include <algorithm>

#include "fast/bulk.h"

namespace veltrim::testing {

long MemorySource::read(unsigned char* dst, std::size_t size) {
  if (pos < split_at && split_at < pos + size) size = split_at - pos;
  if (pos >= fail_read_at) return -1;
  if (fail_read_at - pos < size) size = fail_read_at - pos;
  if (pos >= fail_once_at) {
    fail_once_at = kNever;
    return -1;
  }
  if (fail_once_at - pos < size) size = fail_once_at - pos;
  const std::size_t n = std::min(size, data.size() - pos);
  std::copy_n(data.data() + pos, n, dst);
  const bool over = pos >= over_read_at;
  pos += n;
  return static_cast<long>(over ? size + 1 : n);
}

long MemorySink::write(const unsigned char* src, std::size_t size) {
  ++write_calls;
  // A caller that kept retrying writes that move nothing would hang the test: end it.
  if (max_write == 0 && write_calls > 100) return -1;
  if (write_calls == fail_call) return -1;
  if (fail_write_at != kNever && data.size() + size > fail_write_at) return -1;
  size = std::min(size, max_write);
  data.append(reinterpret_cast<const char*>(src), size);
  return static_cast<long>(over_write ? size + 1 : size);
}

bool MemorySink::close() {
  closed = true;
  return !fail_close;
}

Converted run_convert(MemorySource in, std::size_t in_block, std::size_t out_block, MemorySink out,
                      bool plain) {
  // One pair of streams serves every conversion of the process, as in the tool: tests run
  // one at a time, and fresh 256 KiB buffers for each small conversion would cost more than
  // it does (under AddressSanitizer, a mapping and unmapping each).
  static const std::unique_ptr<InStream> in_file = new_in_stream();
  static const std::unique_ptr<OutStream> out_file = new_out_stream();
  in_attach(*in_file, &in, in_block);
  out_attach(*out_file, &out, out_block);
  if (plain) {
    ConverterState st;
    st.in_file = in_file.get();
    st.out_file = out_file.get();
    convert_sheet(st);
  } else {
    copy_in_bulk(*in_file, *out_file);
  }
  Converted r;
  r.write_ok = out_close(*out_file);
  r.out = out.data;
  r.read_failed = in_file->failed;
  r.read_pos = in.pos;
  return r;
}

std::string convert(const std::string& in) {
  return run_convert(MemorySource(in)).out;
}

ScanFixture::ScanFixture(const std::string& bytes, std::size_t block) : in_raw(bytes) {
  in_attach(*in, &in_raw, block);
  out_attach(*out, &out_raw);
  st.in_file = in.get();
  st.out_file = out.get();
}

std::string ScanFixture::output() {
  out_flush(*out);
  return out_raw.data;
}

}  // namespace veltrim::testing
