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

constexpr std::size_t kNoFault = static_cast<std::size_t>(-1);

// One file: its bytes, what the system tells of it, and where its calls fail as the system's
// can: a read error past some offset, a full disk, a truncate refused, a delayed write lost at
// the close.
struct FakeFile {
  std::string bytes;
  FileFacts facts;
  std::size_t fail_read_at = kNoFault;   // reads deliver bytes up to here, then fail
  std::size_t fail_write_at = kNoFault;  // a write that would pass this size fails
  bool fail_truncate = false;
  bool fail_close = false;
};

// Files by name; two names of one file share it. Outputs missing are made with identities of
// their own, or `made_facts`; outputs named in `locked` are another run's.
class FakeFiles final : public FileSystem {
 public:
  std::map<std::string, std::shared_ptr<FakeFile>> files;
  std::shared_ptr<FakeFile> in;   // standard input, none when null
  std::shared_ptr<FakeFile> out;  // standard output, none when null
  std::vector<std::string> locked;
  const FileFacts* made_facts = nullptr;

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
    if (std::find(locked.begin(), locked.end(), name) != locked.end()) return nullptr;
    const bool made = files.find(name) == files.end();
    if (made) add(name, "");
    if (made && made_facts != nullptr) files[name]->facts = *made_facts;
    // A made file is removed by its discard while the name still holds it.
    return std::make_unique<Output>(files[name], made ? this : nullptr, name);
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
      if (pos_ >= f_->fail_read_at) return -1;
      const std::size_t n = std::min({size, f_->bytes.size() - pos_, f_->fail_read_at - pos_});
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
    Output(std::shared_ptr<FakeFile> f, FakeFiles* maker = nullptr, std::string name = {})
        : f_(std::move(f)), maker_(maker), name_(std::move(name)) {}
    long write(const unsigned char* src, std::size_t size) override {
      if (f_->bytes.size() + size > f_->fail_write_at) return -1;
      f_->bytes.append(reinterpret_cast<const char*>(src), size);
      return static_cast<long>(size);
    }
    bool close() override { return !f_->fail_close; }
    FileFacts facts() const override { return f_->facts; }
    bool truncate() override {
      if (f_->fail_truncate) return false;
      if (f_->facts.disk) f_->bytes.clear();
      return true;
    }
    // As the system's: only a file this run made, and only while it can be told apart from
    // one that another program put under the name (its identity known).
    void discard() override {
      if (maker_ == nullptr || !f_->facts.known) return;
      const auto found = maker_->files.find(name_);
      if (found != maker_->files.end() && found->second == f_) maker_->files.erase(found);
    }

   private:
    std::shared_ptr<FakeFile> f_;
    FakeFiles* maker_;  // the file system that made the file, null when it was there
    std::string name_;
  };
  std::uint64_t last_index_ = 0;
};

}  // namespace veltrim::testing
