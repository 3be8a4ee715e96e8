// The operating system's files: the input as a source, the output as a sink, or standard input
// and output for a filter. One implementation per system: posix_file.cc, win32_file.cc.
// Opening never truncates or creates anything that could be the input: see FileSink::create.
#pragma once

#include <cstdint>
#include <vector>

#include "io/stream.h"

namespace veltrim {

// What the system knows a file by, whichever name reached it: the device and inode on POSIX,
// the volume and file index on Windows. Two handles of one file have the same; two names
// (letter case, a short name, a link) of one file too.
struct FileId {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  bool operator==(const FileId& o) const { return volume == o.volume && index == o.index; }
};

// A handle of the system's, closed with its object at the latest.
class SystemFile {
 public:
  SystemFile() = default;
  SystemFile(const SystemFile&) = delete;
  SystemFile& operator=(const SystemFile&) = delete;
  ~SystemFile();

  bool is_open() const { return handle_ != kInvalid; }
  // The identity of the open file; false when the system cannot tell it.
  bool identity(FileId& id) const;
  // True for a file on a disk, which has a length and may be the same as another: not a
  // terminal, a pipe or a device.
  bool is_disk_file() const;

 protected:
  // Closes the handle; false when the system reports a failure (a lost delayed write).
  bool release();
  // A file descriptor on POSIX, a HANDLE on Windows; -1 is the invalid value of both.
  static constexpr std::intptr_t kInvalid = -1;
  std::intptr_t handle_ = kInvalid;
};

class FileSource final : public SystemFile, public Source {
 public:
  // Opens an existing file for reading; others may go on reading and writing it meanwhile
  // (a log that grows, an editor's file): the conversion gets whatever bytes it reads. False
  // for a missing file, one without read rights, or a directory; on Windows also for a
  // device (a name such as NUL.css or COM1.css, or anything that is not a disk file) and for
  // a name that does not spell exactly one file name. Names are bytes; on Windows, WTF-8
  // (text/codec.h).
  bool open(const char* name);
  // Takes standard input, whatever it is (a pipe, a file, a terminal), as binary bytes.
  bool open_standard_input();
  long read(unsigned char* dst, std::size_t size) override;
  // Nothing is lost by closing an input, so there is nothing to report.
  void close() { release(); }
};

class FileSink final : public SystemFile, public Sink {
 public:
  // Creates the file, or truncates an existing one, for writing. False when it cannot, and
  // then nothing is truncated: when `name` leads to the file open in `input` (a link named
  // like the output) or to one of `written` (outputs this run has written before: another
  // name in letter case, a short name or a link), or that cannot be ruled out; when another
  // run is writing the same output; on POSIX for a FIFO with no reader, and on Windows for a
  // device, as for FileSource::open.
  bool create(const char* name, const FileSource& input, const std::vector<FileId>& written);
  // The identity of the file that create opened, for the run's list of outputs written.
  const FileId& id() const { return id_; }
  // Takes standard output, whatever it is, for binary bytes.
  bool open_standard_output();
  long write(const unsigned char* src, std::size_t size) override;
  bool close() override { return release(); }

 private:
  FileId id_;
};

// True when `output`, just opened and not yet truncated, may be replaced: it is neither the
// input nor one of the outputs written before, and both identities are known; `out_id` takes
// the output's.
bool may_replace(const FileSink& output, const FileSource& input,
                 const std::vector<FileId>& written, FileId& out_id);

}  // namespace veltrim
