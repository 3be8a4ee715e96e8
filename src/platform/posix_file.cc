// The operating system's files on POSIX systems.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/file_names.h"
#include "platform/native_file.h"
#include "platform/posix_fd.h"

#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif

namespace veltrim {

namespace {

int fd_of(std::intptr_t handle) { return static_cast<int>(handle); }

// A pipe or socket that the parent made non-blocking (Node's and Python's children get such)
// answers EAGAIN when it has no data or no room yet: wait until it has, then go on.
bool waited_for(int fd, short events) {
  if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
  struct pollfd p = {fd, events, 0};
  int ready;
  do {
    ready = ::poll(&p, 1, -1);
  } while (ready < 0 && errno == EINTR);
  return ready > 0;
}

}  // namespace

int open_retrying(const char* name, int flags) {
  int fd;
  do {
    fd = ::open(name, flags, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

FileFacts facts_of(int fd) {
  FileFacts facts;
  struct stat st;
  if (fd < 0 || ::fstat(fd, &st) != 0) return facts;
  facts.disk = S_ISREG(st.st_mode);
  facts.known = true;
  facts.id.volume = static_cast<std::uint64_t>(st.st_dev);
  facts.id.index = static_cast<std::uint64_t>(st.st_ino);
  return facts;
}

NativeHandle::~NativeHandle() {
  release();
}

FileFacts NativeHandle::file_facts() const { return facts_of(fd_of(handle_)); }

bool NativeHandle::release() {
  if (!is_open()) return true;
  const int fd = fd_of(handle_);
  handle_ = kInvalid;
  // A failed close may be the only report of a lost delayed write. It is not retried on
  // EINTR: the descriptor is gone either way on Linux.
  return ::close(fd) == 0;
}

bool NativeInputFile::open(const char* name) {
  const int fd = open_retrying(name, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  handle_ = fd;
  // A folder opens for reading here but not on Windows; refuse it the same way.
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    release();
    return false;
  }
  return true;
}

bool NativeInputFile::open_standard_input() {
  handle_ = STDIN_FILENO;
  return true;
}

long NativeInputFile::read(unsigned char* dst, std::size_t size) {
  const int fd = fd_of(handle_);
  ssize_t n;
  do {
    n = ::read(fd, dst, size);
  } while (n < 0 && (errno == EINTR || waited_for(fd, POLLIN)));
  return static_cast<long>(n);
}

namespace {

// The output's descriptor, and whether this call made the file. An existing file is opened as
// it is; only a missing one is created, with O_EXCL, so that `created` is never true of a file
// another program made: between the two opens the name may appear, and then it is opened again.
int open_or_create(const char* name, int flags, bool& created) {
  for (int tries = 0; tries < 8; ++tries) {
    int fd = open_retrying(name, flags);
    if (fd >= 0 || errno != ENOENT) {
      created = false;
      return fd;
    }
    fd = open_retrying(name, flags | O_CREAT | O_EXCL);
    if (fd >= 0 || errno != EEXIST) {
      created = fd >= 0;
      return fd;
    }
  }
  return -1;  // the name comes and goes faster than it can be opened: refused
}

}  // namespace

bool NativeOutputFile::open(const char* name) {
  // Opened without O_TRUNC: the name may lead to the input itself, through a hard link, and
  // truncating it would destroy the very bytes about to be read; the run truncates once it
  // has compared the two. O_NOFOLLOW: a symbolic link as the last component would write
  // wherever it points, outside the folder too, or create the file a dangling one names
  // (O_EXCL refuses that one too). Non-blocking, so that a FIFO with no reader is refused at
  // once (ENXIO) instead of waiting for ever for one; the writes block again, as on any file.
  const std::size_t len = std::strlen(name);
  if (len >= sizeof name_) return false;  // no file system takes it anyway
  const int fd = open_or_create(name, O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, created_);
  if (fd < 0) return false;
  handle_ = fd;
  std::memcpy(name_, name, len + 1);
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags == -1 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1) {
    discard();
    return false;
  }
  // One writer at a time: another run converting into the same output holds this lock, and
  // the two would mix their bytes. The lock is advisory and held until the close; a file
  // system that cannot lock at all does not stop the run.
  int locked;
  do {
    locked = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked == 0 || errno != EWOULDBLOCK) return true;
  // Another run locked it first. Even when this open made the file, that run opened it in
  // the instant before the lock and is writing it now: its output is not removed under it.
  created_ = false;
  release();
  return false;
}

void NativeOutputFile::discard() {
  // POSIX removes by name alone, so the name must still lead to this very file: another
  // program may have put one of its own there meanwhile. A file whose identity cannot be
  // read is left, as it cannot be told from such a one. A rename onto the name between the
  // lstat and the unlink would still lose that file; POSIX has no unlink-if-same, and the
  // window is one system call long on a name this run made an instant ago.
  const FileFacts mine = file_facts();
  struct stat st;
  if (created_ && mine.known && ::lstat(name_, &st) == 0 &&
      static_cast<std::uint64_t>(st.st_dev) == mine.id.volume &&
      static_cast<std::uint64_t>(st.st_ino) == mine.id.index) {
    ::unlink(name_);
  }
  created_ = false;
  release();
}

bool NativeOutputFile::truncate() {
  // Only a regular file has a length to drop; devices and pipes are written as they are.
  return !file_facts().disk || ::ftruncate(fd_of(handle_), 0) == 0;
}

bool NativeOutputFile::open_standard_output() {
  handle_ = STDOUT_FILENO;
  return true;
}

long NativeOutputFile::write(const unsigned char* src, std::size_t size) {
  const int fd = fd_of(handle_);
  ssize_t n;
  do {
    n = ::write(fd, src, size);
  } while (n < 0 && (errno == EINTR || waited_for(fd, POLLOUT)));
  return static_cast<long>(n);
}

// A name is the file's own, and the shell has expanded any pattern: there is nothing to ask.
std::unique_ptr<NameSystem> system_names() {
  return nullptr;
}

}  // namespace veltrim
