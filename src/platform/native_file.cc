// What the files of every system share: the identity rule, and the system's FileSystem.
#include "platform/native_file.h"

namespace veltrim {

Sameness sameness(const FileFacts& a, const FileFacts& b) {
  if (!a.disk || !b.disk) return OTHER_FILE;
  if (!a.known || !b.known) return MAYBE_SAME;
  return a.id == b.id ? SAME_FILE : OTHER_FILE;
}

namespace {

// Hands out a file when it opened, nothing otherwise.
template <class File, class Base, class Open>
std::unique_ptr<Base> opened(Open open) {
  auto file = std::make_unique<File>();
  if (!open(*file)) return nullptr;
  return file;
}

class SystemFiles final : public FileSystem {
 public:
  std::unique_ptr<InputFile> open_input(const char* name) override {
    return opened<NativeInputFile, InputFile>([name](NativeInputFile& f) { return f.open(name); });
  }
  std::unique_ptr<OutputFile> open_output(const char* name) override {
    return opened<NativeOutputFile, OutputFile>(
        [name](NativeOutputFile& f) { return f.open(name); });
  }
  std::unique_ptr<ReplacingFile> open_replacing(const char* name) override {
    return open_native_replacing(name);
  }
  std::unique_ptr<InputFile> standard_input() override {
    return opened<NativeInputFile, InputFile>(
        [](NativeInputFile& f) { return f.open_standard_input(); });
  }
  std::unique_ptr<OutputFile> standard_output() override {
    return opened<NativeOutputFile, OutputFile>(
        [](NativeOutputFile& f) { return f.open_standard_output(); });
  }
};

}  // namespace

std::unique_ptr<FileSystem> system_files() {
  return std::make_unique<SystemFiles>();
}

}  // namespace veltrim
