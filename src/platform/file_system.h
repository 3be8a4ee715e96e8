// The files a run opens, behind one seam: the system's (native_file.h) or a test's fake. What a
// run may do with them, the rules of identity, sits here once for every system and for both
// the named files and the filter.
#pragma once

#include <cstdint>
#include <memory>

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

// What the system tells of an open file, for the identity rule.
struct FileFacts {
  // A file on a disk, which has a length and may be another name of a file already open:
  // not a terminal, a pipe or a device.
  bool disk = false;
  bool known = false;  // `id` could be read
  FileId id;
};

// Whether two open files are one. Only disk files can be: a pipe, terminal or device never
// holds the bytes of another file. Two disk files are one when their identities match, and
// may be when either identity cannot be read: that is never taken for "other".
enum Sameness { SAME_FILE, OTHER_FILE, MAYBE_SAME };
Sameness sameness(const FileFacts& a, const FileFacts& b);

class InputFile : public Source {
 public:
  virtual FileFacts facts() const = 0;
};

class OutputFile : public Sink {
 public:
  virtual FileFacts facts() const = 0;
  // Drops what the file held, once it is known that it may be replaced; a pipe or a device
  // has nothing to drop. False on failure.
  virtual bool truncate() = 0;
  // Gives up a file the run refuses: closes it and, when the open made it, removes it again,
  // so that a refusal leaves nothing behind. A file that was there before stays as it was,
  // and so does one that another program put in its place meanwhile.
  virtual void discard() = 0;
};

// An output put in place whole: written into a new file beside its name, which takes the place
// of the file of that name only when complete, so that a reader of the name finds the old
// file or the new one, never a part of either. Without a commit, its new file is removed and
// the old one stays as it was.
class ReplacingFile : public OutputFile {
 public:
  // facts(): of the file the name leads to now, for the identity rule; of the new file where
  // there is none.
  bool truncate() override { return true; }  // the new file starts empty
  // The new file is removed with the object unless committed; the old one is never touched.
  void discard() override {}
  // Puts the closed new file in the old one's place; false, the old one kept, on failure.
  virtual bool commit() = 0;
};

// Opens the files of a run (ninja's DiskInterface is the model: the system's, and a fake).
// Every open hands back nullptr when it fails.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // An existing file, for reading; others may go on reading and writing it meanwhile.
  // Refused: a missing file, one without read rights, a folder; on Windows a device and a
  // name that does not spell exactly one file name.
  virtual std::unique_ptr<InputFile> open_input(const char* name) = 0;
  // A file for writing, made when missing and opened as it is otherwise: nothing is
  // truncated before the run has compared it with its input. Refused: a name whose last
  // component is a symbolic link (or on Windows a junction), which would write where the
  // user did not name; an output that another run is writing; on POSIX a FIFO with no reader,
  // on Windows a device.
  virtual std::unique_ptr<OutputFile> open_output(const char* name) = 0;
  // An output for the watch mode, by the same rules as open_output: refused where the name is
  // a symbolic link (or junction), not a disk file, or another run writes it. None where the
  // file system has no such outputs.
  virtual std::unique_ptr<ReplacingFile> open_replacing(const char* /*name*/) { return nullptr; }
  // Standard input and output, whatever they are, as binary bytes.
  virtual std::unique_ptr<InputFile> standard_input() = 0;
  virtual std::unique_ptr<OutputFile> standard_output() = 0;
};

// The system's files.
std::unique_ptr<FileSystem> system_files();

}  // namespace veltrim
