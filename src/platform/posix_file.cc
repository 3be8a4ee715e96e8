// The operating system's file on POSIX systems.
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_io.h"

#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif

namespace veltrim {

namespace {

int fd_of(std::intptr_t handle) { return static_cast<int>(handle); }

}  // namespace

OsFile::~OsFile() {
  if (is_open()) ::close(fd_of(handle_));
}

bool OsFile::open_read(const char* name) {
  int fd;
  do {
    fd = ::open(name, O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  // A folder opens for reading here but not on Windows; refuse it the same way.
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return false;
  }
  handle_ = fd;
  return true;
}

bool OsFile::identity(FileId& id) const {
  struct stat st;
  if (!is_open() || ::fstat(fd_of(handle_), &st) != 0) return false;
  id.volume = static_cast<std::uint64_t>(st.st_dev);
  id.index = static_cast<std::uint64_t>(st.st_ino);
  return true;
}

bool OsFile::create_write(const char* name, const OsFile& input,
                          const std::vector<FileId>& written) {
  // Open without O_TRUNC first: the name may lead to the input itself, through a symbolic
  // or a hard link, and truncating it would destroy the very bytes about to be read.
  // Non-blocking, so that a FIFO with no reader is refused at once (ENXIO) instead of
  // waiting for ever for one; the writes block again, as on any file.
  int fd;
  do {
    fd = ::open(name, O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags == -1 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1) {
    ::close(fd);
    return false;
  }
  // One writer at a time: another run converting into the same output holds this lock, and
  // the two would mix their bytes. The lock is advisory and held until the close; a file
  // system that cannot lock at all does not stop the run.
  int locked;
  do {
    locked = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  bool ok = locked == 0 || errno != EWOULDBLOCK;
  handle_ = fd;
  // The output must be neither the input nor an output of this run. When an identity cannot
  // be read, that cannot be ruled out, so the output is refused.
  struct stat out_st;
  ok = ok && ::fstat(fd, &out_st) == 0 && may_replace(*this, input, written);
  // Only a regular file has a length to drop; devices and pipes are written as they are.
  if (ok && S_ISREG(out_st.st_mode)) ok = ::ftruncate(fd, 0) == 0;
  if (!ok) close();
  return ok;
}

long OsFile::read(unsigned char* dst, std::size_t size) {
  ssize_t n;
  do {
    n = ::read(fd_of(handle_), dst, size);
  } while (n < 0 && errno == EINTR);
  return static_cast<long>(n);
}

long OsFile::write(const unsigned char* src, std::size_t size) {
  ssize_t n;
  do {
    n = ::write(fd_of(handle_), src, size);
  } while (n < 0 && errno == EINTR);
  return static_cast<long>(n);
}

bool long_file_name(const char* /*name*/, char* /*dst*/, std::size_t /*cap*/) {
  return false;  // no short names
}

bool match_stylesheets(const char* /*arg*/, std::vector<std::string>& names) {
  names.clear();
  return false;  // the shell has expanded any pattern
}

bool OsFile::close() {
  if (!is_open()) return true;
  int fd = fd_of(handle_);
  handle_ = kInvalid;
  // A failed close may be the only report of a lost delayed write. It is not retried on
  // EINTR: the descriptor is gone either way on Linux.
  return ::close(fd) == 0;
}

}  // namespace veltrim
