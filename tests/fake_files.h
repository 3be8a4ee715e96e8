// A run's world in memory: the names a Windows file system gives, and files with identities,
// links and other writers, for testing the run's rules without a disk.
#pragma once

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_names.h"
#include "platform/file_system.h"

namespace veltrim::testing {

// A file system as the rules of names see it: the names it holds for some names (a long name
// for a short one), one answer for every other, one folder's entries, and names ordered with
// ASCII letter case aside, as Windows orders these.
class FakeNames final : public NameSystem {
 public:
  Lookup answer = MISSING;
  std::string held;
  std::map<std::string, std::string> held_for;  // FOUND, with the name held for this one
  std::vector<FolderEntry> entries;

  Lookup look_up(const char* name, std::string& given, std::string& held_name) override {
    const std::string n(name);
    given = n.substr(n.find_last_of("/\\") + 1);
    const auto found = held_for.find(n);
    held_name = found != held_for.end() ? found->second : held;
    return found != held_for.end() ? FOUND : answer;
  }
  bool list(const char*, std::vector<FolderEntry>& out) override {
    out = entries;
    return true;
  }
  int compare(const std::string& a, const std::string& b, bool ignore_case) override {
    const auto fold = [ignore_case](std::string x) {
      for (char& c : x) c = ignore_case && c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
      return x;
    };
    return fold(a).compare(fold(b));
  }
};

// One file: its bytes and what the system tells of it.
struct FakeFile {
  std::string bytes;
  FileFacts facts;
};

// Files by name; two names of one file share it. Outputs missing are made with identities of
// their own.
class FakeFiles final : public FileSystem {
 public:
  std::map<std::string, std::shared_ptr<FakeFile>> files;
  std::shared_ptr<FakeFile> in;   // standard input, none when null
  std::shared_ptr<FakeFile> out;  // standard output, none when null

  // A disk file of known identity.
  std::shared_ptr<FakeFile> add(const std::string& name, const std::string& bytes) {
    auto f = std::make_shared<FakeFile>();
    f->bytes = bytes;
    f->facts = {true, true, {1, ++last_index_}};
    files[name] = f;
    return f;
  }

  std::unique_ptr<InputFile> open_input(const char* name) override {
    const auto found = files.find(name);
    return found == files.end() ? nullptr : std::make_unique<Input>(found->second);
  }
  std::unique_ptr<OutputFile> open_output(const char* name) override {
    if (files.find(name) == files.end()) add(name, "");
    return std::make_unique<Output>(files[name]);
  }
  std::unique_ptr<InputFile> standard_input() override {
    return in ? std::make_unique<Input>(in) : nullptr;
  }
  std::unique_ptr<OutputFile> standard_output() override {
    return out ? std::make_unique<Output>(out) : nullptr;
  }

 private:
  class Input final : public InputFile {
   public:
    explicit Input(std::shared_ptr<FakeFile> f) : f_(std::move(f)) {}
    long read(unsigned char* dst, std::size_t size) override {
      const std::size_t n = std::min(size, f_->bytes.size() - pos_);
      f_->bytes.copy(reinterpret_cast<char*>(dst), n, pos_);
      pos_ += n;
      return static_cast<long>(n);
    }
    FileFacts facts() const override { return f_->facts; }

   private:
    std::shared_ptr<FakeFile> f_;
    std::size_t pos_ = 0;
  };
  class Output final : public OutputFile {
   public:
    explicit Output(std::shared_ptr<FakeFile> f) : f_(std::move(f)) {}
    long write(const unsigned char* src, std::size_t size) override {
      f_->bytes.append(reinterpret_cast<const char*>(src), size);
      return static_cast<long>(size);
    }
    bool close() override { return true; }
    FileFacts facts() const override { return f_->facts; }
    bool truncate() override {
      if (f_->facts.disk) f_->bytes.clear();
      return true;
    }

   private:
    std::shared_ptr<FakeFile> f_;
  };
  std::uint64_t last_index_ = 0;
};

}  // namespace veltrim::testing
