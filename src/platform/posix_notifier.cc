// The watch mode's notifications on Linux: inotify on each watched folder, and the signals
// that end the watch read from a signalfd, so that one poll blocks on both and nothing polls.
#include <dirent.h>
#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

#include "platform/notifier.h"

namespace veltrim {

namespace {

// The changes to a folder's names that a save can make, and the folder's own end.
constexpr std::uint32_t kFolderEvents = IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_MOVED_TO |
                                        IN_DELETE | IN_MOVED_FROM | IN_DELETE_SELF |
                                        IN_MOVE_SELF | IN_ONLYDIR | IN_EXCL_UNLINK;

class InotifyNotifier final : public Notifier {
 public:
  ~InotifyNotifier() override {
    if (inotify_ >= 0) ::close(inotify_);
    if (signals_ >= 0) ::close(signals_);
  }

  bool open() {
    // The signals that end the watch are held back from now on, and read as data: one that
    // comes while a conversion writes waits for it to be put in place.
    sigset_t set;
    sigemptyset(&set);
    for (const int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, s);
    if (::sigprocmask(SIG_BLOCK, &set, nullptr) != 0) return false;
    signals_ = ::signalfd(-1, &set, SFD_CLOEXEC);
    inotify_ = ::inotify_init1(IN_CLOEXEC);
    return signals_ >= 0 && inotify_ >= 0;
  }

  Kind kind(const char* name) override {
    struct stat st;
    if (::stat(name, &st) != 0) return MISSING;
    return S_ISDIR(st.st_mode) ? FOLDER : FILE;
  }

  Watch watch_folder(const char* folder, int& id) override {
    id = ::inotify_add_watch(inotify_, folder, kFolderEvents);
    if (id >= 0) return WATCHING;
    if (errno == ENOENT || errno == ENOTDIR) return NO_SUCH_FOLDER;
    return errno == ENOSPC ? LIMIT_REACHED : CANNOT_WATCH;
  }

  bool list(const char* folder, std::vector<std::string>& names) override {
    DIR* dir = ::opendir(folder);
    if (dir == nullptr) return false;
    std::string path;
    while (const dirent* e = ::readdir(dir)) {
      path.assign(folder).append("/").append(e->d_name);
      if (kind(path.c_str()) == FILE) names.emplace_back(e->d_name);
    }
    ::closedir(dir);
    return true;
  }

  Wait wait(long timeout_ms, std::vector<Change>& changes) override {
    struct pollfd fds[2] = {{signals_, POLLIN, 0}, {inotify_, POLLIN, 0}};
    int ready;
    do {
      ready = ::poll(fds, 2, timeout_ms < 0 ? -1 : static_cast<int>(timeout_ms));
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) return FAILED;
    if (fds[0].revents != 0) return STOPPED;
    if (ready == 0) return TIMED_OUT;
    return read_changes(changes) ? CHANGES : FAILED;
  }

 private:
  bool read_changes(std::vector<Change>& changes) {
    ssize_t n;
    do {
      n = ::read(inotify_, buffer_, sizeof buffer_);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) return false;
    for (ssize_t at = 0; at < n;) {
      inotify_event e;
      std::memcpy(&e, buffer_ + at, sizeof e);
      const char* name = buffer_ + at + sizeof e;
      at += static_cast<ssize_t>(sizeof e + e.len);
      Change c;
      c.folder = e.wd;
      if ((e.mask & IN_Q_OVERFLOW) != 0) {
        c.kind = Change::OVERFLOWED;
      } else if ((e.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT)) != 0) {
        c.kind = Change::FOLDER_GONE;
      } else if (e.len == 0 || (e.mask & IN_ISDIR) != 0) {
        continue;
      } else {
        c.kind = (e.mask & (IN_DELETE | IN_MOVED_FROM)) != 0 ? Change::REMOVED : Change::WRITTEN;
        c.name.assign(name, ::strnlen(name, e.len));
      }
      changes.push_back(c);
    }
    return true;
  }

  int inotify_ = -1;
  int signals_ = -1;
  // Room for a few hundred changes per read; more wait for the next.
  alignas(inotify_event) char buffer_[64 * 1024];
};

class SystemClock final : public Clock {
 public:
  long long now_ms() override {
    timespec t;
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
  }
  void time_of_day(char (&text)[kTimeOfDaySize]) override {
    const time_t now = ::time(nullptr);
    struct tm local;
    if (::localtime_r(&now, &local) == nullptr ||
        ::strftime(text, sizeof text, "%H:%M:%S", &local) == 0) {
      std::memcpy(text, "??:??:??", sizeof text);
    }
  }
};

}  // namespace

std::unique_ptr<Notifier> system_notifier() {
  auto notifier = std::make_unique<InotifyNotifier>();
  if (!notifier->open()) return nullptr;
  return notifier;
}

std::unique_ptr<Clock> system_clock() {
  return std::make_unique<SystemClock>();
}

}  // namespace veltrim
