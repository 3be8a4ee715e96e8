// The file interface the conversion needs: buffered one-byte reads with a one-byte step back,
// buffered writes of one or three bytes, each with a transfer count, over a raw block device
// that is either the operating system's file (posix_file.cc, win32_file.cc) or memory (tests).
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace veltrim {

// Block-level operations behind a buffered file. The buffered layer calls these once per
// block, never once per byte, so a virtual call costs nothing that matters here.
class RawFile {
 public:
  virtual ~RawFile() = default;
  // Reads up to `size` bytes; the count read, 0 at end of input, or -1 when the read fails.
  virtual long read(unsigned char* dst, std::size_t size) = 0;
  // Writes up to `size` bytes; the count written (possibly short), or -1 when the write fails.
  virtual long write(const unsigned char* src, std::size_t size) = 0;
  // Releases the file; false when the system reports a failure (a lost delayed write).
  virtual bool close() = 0;
};

// What the system knows a file by, whichever name reached it: the device and inode on POSIX,
// the volume and file index on Windows. Two handles of one file have the same; two names
// (letter case, a short name, a link) of one file too.
struct FileId {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  bool operator==(const FileId& o) const { return volume == o.volume && index == o.index; }
};

// The operating system's file. Opening never truncates or creates anything that could be
// the input: see create_write.
class OsFile final : public RawFile {
 public:
  OsFile() = default;
  OsFile(const OsFile&) = delete;
  OsFile& operator=(const OsFile&) = delete;
  ~OsFile() override;

  // Opens an existing file for reading; others may go on reading and writing it meanwhile
  // (a log that grows, an editor's file): the conversion gets whatever bytes it reads. False
  // for a missing file, one without read rights, or a directory; on Windows also for a device
  // (a name such as NUL.css or COM1.css, or anything that is not a disk file) and for a name
  // that does not spell exactly one file name. Names are bytes; on Windows, UTF-8
  // (win_names.h).
  bool open_read(const char* name);
  // Creates the file, or truncates an existing one, for writing. False when it cannot, and
  // then nothing is truncated: when `name` leads to the file open in `input` (a link named
  // like the output) or to one of `written` (outputs this run has written before: another
  // name in letter case, a short name or a link), or that cannot be ruled out; when another
  // run is writing the same output; on POSIX for a FIFO with no reader, and on Windows for a
  // device, as for open_read.
  bool create_write(const char* name, const OsFile& input, const std::vector<FileId>& written);
  // The identity of the open file; false when the system cannot tell it.
  bool identity(FileId& id) const;
  bool is_open() const { return handle_ != kInvalid; }

  long read(unsigned char* dst, std::size_t size) override;
  long write(const unsigned char* src, std::size_t size) override;
  bool close() override;

 private:
  // A file descriptor on POSIX, a HANDLE on Windows; -1 is the invalid value of both.
  static constexpr std::intptr_t kInvalid = -1;
  std::intptr_t handle_ = kInvalid;
};

// True when `output`, just opened and not yet truncated, may be replaced: it is neither the
// input nor one of the outputs written before, and both identities are known.
bool may_replace(const OsFile& output, const OsFile& input, const std::vector<FileId>& written);

// The name of the file `name` opens, its last component as the file system holds it: on Windows
// a short (8.3) name there becomes the long one, so that the output is named after the input's
// own name and not after a short name that another file's short name may match. False, and
// `dst` untouched, where that changes nothing: on POSIX, for a missing file, for a name that
// is long already, and for a long name that does not fit in `cap` bytes.
bool long_file_name(const char* name, char* dst, std::size_t cap);

// Windows' shell leaves a wildcard to the program. When the last component of `arg` holds '*'
// or '?' (win_names.h), stores in `names` every file that pattern matches in its folder whose
// own (long) name ends in ".css" in any letter case, folders left out, in name order, each as
// the folders of `arg` as typed and its name; true then, also when none match. False for any
// other name, and always on POSIX, where the shell expands patterns and '*' and '?' are
// characters of a name.
bool match_stylesheets(const char* arg, std::vector<std::string>& names);

// Bytes moved per system call: 256 KiB takes a quarter of the calls of 64 KiB and of the
// rules that straddle a buffer's end, and both buffers still sit in a core's cache. Tests
// shrink the block of a stream to a few bytes to put its boundary at every position.
constexpr std::size_t kBlockSize = std::size_t{256} * 1024;

// Input stream: a block buffer refilled from `raw`. End of input and failure are sticky.
struct InFile {
  RawFile* raw = nullptr;
  std::size_t block = kBlockSize;  // bytes asked of `raw` per refill, 1..kBlockSize
  std::size_t pos = 0;             // next byte to hand out
  std::size_t len = 0;             // bytes held in buf
  bool ended = false;
  bool failed = false;
  unsigned char buf[kBlockSize];
};

// Room past the output block for bulk writers, which stop only where they run short of it;
// the block is still what each write to the file carries (out_flush_blocks).
constexpr std::size_t kOutSlack = 4096;

// Output stream: a block buffer emptied into `raw`. A failure is sticky: every later write
// transfers nothing.
struct OutFile {
  RawFile* raw = nullptr;
  std::size_t block = kBlockSize;  // bytes held before a flush, 1..kBlockSize
  std::size_t len = 0;
  bool failed = false;
  unsigned char buf[kBlockSize + kOutSlack];
};

void in_attach(InFile& f, RawFile* raw, std::size_t block = kBlockSize);
void out_attach(OutFile& f, RawFile* raw, std::size_t block = kBlockSize);

// Refills an exhausted buffer; false at end of input or on failure.
bool in_refill(InFile& f);

// Reads one byte into *dst and stores the count (1, or 0 at end of input) in *count.
// Returns false only when the read failed (then *count is 0 too); *dst is untouched
// unless a byte was read.
inline bool in_read_byte(InFile& f, unsigned char* dst, std::uint32_t* count) {
  if (f.pos == f.len && !in_refill(f)) {
    *count = 0;
    return !f.failed;
  }
  *dst = f.buf[f.pos++];
  *count = 1;
  return true;
}

// Steps back over the byte read last, so that the next read returns it again. That byte is
// always still in the buffer: a refill keeps nothing of the block before, but the byte read
// after it is its first. So this works on pipes too, and never seeks the file.
inline void in_step_back(InFile& f) {
  assert(f.pos > 0 && "a byte was read since the last refill");
  --f.pos;
}

// Writes `size` bytes; stores the count (size, or 0 on failure) in *count.
bool out_write_slow(OutFile& f, const unsigned char* src, std::size_t size, std::uint32_t* count);
inline bool out_write(OutFile& f, const unsigned char* src, std::size_t size,
                      std::uint32_t* count) {
  if (f.failed || f.block - f.len < size) return out_write_slow(f, src, size, count);
  for (std::size_t i = 0; i < size; ++i) f.buf[f.len + i] = src[i];
  f.len += size;
  *count = static_cast<std::uint32_t>(size);
  return true;
}

// Direct access to the buffers for bulk paths that move many bytes in one step: what is
// buffered and not yet read, and the room left in the output, the slack included (none
// after a failure). A bulk writer calls out_flush_blocks before it hands the stream back.
inline const unsigned char* in_next(const InFile& f) { return f.buf + f.pos; }
inline std::size_t in_available(const InFile& f) { return f.len - f.pos; }
inline void in_consume(InFile& f, std::size_t n) { f.pos += n; }
inline unsigned char* out_next(OutFile& f) { return f.buf + f.len; }
inline std::size_t out_room(const OutFile& f) {
  return f.failed ? 0 : f.block + kOutSlack - f.len;
}
inline void out_commit(OutFile& f, std::size_t n) { f.len += n; }

// Writes out whole blocks while more than one block is buffered, so that the file receives
// the same writes as from out_write, which flushes a full block when the next byte comes;
// false on failure.
bool out_flush_blocks(OutFile& f);

// Hands everything buffered to the raw file; false on failure.
bool out_flush(OutFile& f);

// Flushes and closes the raw file; false if anything written was lost on the way.
bool out_close(OutFile& f);

}  // namespace veltrim
