// The watch mode's outputs on POSIX systems: written into a new file beside the output and
// renamed over it, which a reader sees happen at once.
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "platform/file_names.h"
#include "platform/native_file.h"
#include "platform/posix_fd.h"

#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif

namespace veltrim {

namespace {

class PosixReplacingFile final : public ReplacingFile {
 public:
  ~PosixReplacingFile() override {
    close();
    if (!committed_ && temp_[0] != '\0') ::unlink(temp_);
    if (old_ >= 0) ::close(old_);
  }

  bool open(const char* name) {
    std::snprintf(name_, sizeof name_, "%s", name);
    // The old output, if any, is opened as a plain run opens it: not through a symbolic link,
    // not a FIFO or a device (a rename would take its place), and locked, so that a run
    // writing it meanwhile is not undone by the rename, nor this watch by that run.
    old_ = open_retrying(name, O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    struct stat st{};
    if (old_ < 0) {
      if (errno != ENOENT) return false;
    } else if (::fstat(old_, &st) != 0 || !S_ISREG(st.st_mode) || !locked(old_)) {
      return false;
    }
    // A name of its own for the new file, in the output's folder so that the rename stays on
    // one file system; it never ends in ".css", so a watch never takes it for a stylesheet.
    for (int attempt = 0; attempt < 100 && new_ < 0; ++attempt) {
      const int n = std::snprintf(temp_, sizeof temp_, "%s.%ld-%d.tmp", name,
                                  static_cast<long>(::getpid()), attempt);
      if (n < 0 || static_cast<std::size_t>(n) >= sizeof temp_) break;
      new_ = open_retrying(temp_, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC);
      if (new_ < 0 && errno != EEXIST) break;
    }
    if (new_ < 0) {
      temp_[0] = '\0';  // nothing of ours to remove
      return false;
    }
    // The new output keeps the old one's permissions, as an output written in place would.
    if (old_ >= 0) ::fchmod(new_, st.st_mode & 07777);
    facts_ = old_ >= 0 ? facts_of(old_) : facts_of(new_);
    return true;
  }

  long write(const unsigned char* src, std::size_t size) override {
    ssize_t n;
    do {
      n = ::write(new_, src, size);
    } while (n < 0 && errno == EINTR);
    return static_cast<long>(n);
  }

  bool close() override {
    if (new_ < 0) return true;
    const int fd = new_;
    new_ = -1;
    return ::close(fd) == 0;
  }

  FileFacts facts() const override { return facts_; }

  bool commit() override {
    // On the disk before the name moves to it: after a crash the output is the old one or the
    // new one, never an empty file (file systems may write a renamed file's data late).
    if (new_ >= 0 && !synced(new_)) return false;
    if (new_ >= 0 && !close()) return false;
    committed_ = ::rename(temp_, name_) == 0;
    return committed_;
  }

 private:
  static bool synced(int fd) {
    int r;
    do {
      r = ::fsync(fd);
    } while (r != 0 && errno == EINTR);
    // A file system that keeps nothing to sync (some network and FUSE ones) is not a failure.
    return r == 0 || errno == EINVAL || errno == ENOTSUP || errno == ENOSYS;
  }

  static bool locked(int fd) {
    int r;
    do {
      r = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (r != 0 && errno == EINTR);
    // A file system that cannot lock at all does not stop the watch, as it does not a run.
    return r == 0 || errno != EWOULDBLOCK;
  }

  char name_[kNameSize];
  char temp_[kNameSize + 32] = "";
  int old_ = -1;
  int new_ = -1;
  bool committed_ = false;
  FileFacts facts_;
};

}  // namespace

std::unique_ptr<ReplacingFile> open_native_replacing(const char* name) {
  auto file = std::make_unique<PosixReplacingFile>();
  if (!file->open(name)) return nullptr;
  return file;
}

}  // namespace veltrim
