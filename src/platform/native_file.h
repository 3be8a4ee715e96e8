// The operating system's files: the input as a source, the output as a sink, or standard input
// and output for a filter. One implementation per system: posix_file.cc, win32_file.cc.
// Opening never truncates anything: the run first compares the output with its input.
#pragma once

#include <cstdint>

#include "platform/file_names.h"
#include "platform/file_system.h"

namespace veltrim {

// A handle of the system's, closed with its object at the latest.
class NativeHandle {
 public:
  NativeHandle() = default;
  NativeHandle(const NativeHandle&) = delete;
  NativeHandle& operator=(const NativeHandle&) = delete;
  ~NativeHandle();

  bool is_open() const { return handle_ != kInvalid; }
  // What the system tells of the open file: whether it is a disk file, and its identity.
  FileFacts file_facts() const;

 protected:
  // Closes the handle; false when the system reports a failure (a lost delayed write).
  bool release();
  // A file descriptor on POSIX, a HANDLE on Windows; -1 is the invalid value of both.
  static constexpr std::intptr_t kInvalid = -1;
  std::intptr_t handle_ = kInvalid;
};

class NativeInputFile final : public NativeHandle, public InputFile {
 public:
  // FileSystem::open_input. Names are bytes; on Windows, WTF-8 (text/codec.h).
  bool open(const char* name);
  // Takes standard input, whatever it is (a pipe, a file, a terminal), as binary bytes.
  bool open_standard_input();
  // Waits for data where the input is a pipe that its parent made non-blocking.
  long read(unsigned char* dst, std::size_t size) override;
  FileFacts facts() const override { return file_facts(); }
};

class NativeOutputFile final : public NativeHandle, public OutputFile {
 public:
  // FileSystem::open_output.
  bool open(const char* name);
  // Takes standard output, whatever it is, for binary bytes.
  bool open_standard_output();
  // Waits for room where the output is a pipe that its parent made non-blocking.
  long write(const unsigned char* src, std::size_t size) override;
  bool close() override { return release(); }
  FileFacts facts() const override { return file_facts(); }
  bool truncate() override;
  void discard() override;

 private:
  // Whether open() made the file, and the name it made it by, for discard().
  bool created_ = false;
  char name_[kNameSize] = {};
};

// FileSystem::open_replacing, one implementation per system: posix_replacing.cc,
// win32_watch.cc.
std::unique_ptr<ReplacingFile> open_native_replacing(const char* name);

}  // namespace veltrim
