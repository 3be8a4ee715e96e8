// What the watch mode needs of the system: word of changes in folders, the names in a folder,
// the end the user asks for (Ctrl+C, a signal, the console closing), and the time. One
// implementation per system: posix_notifier.cc (inotify), win32_notifier.cc
// (ReadDirectoryChangesW); the watch loop is handed them, so that tests give it fakes.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace veltrim {

// One word from a watched folder.
struct Change {
  enum Kind {
    WRITTEN,      // `name` was made, written, or renamed or moved into the folder
    REMOVED,      // `name` was deleted, or renamed or moved out of the folder
    OVERFLOWED,   // the system lost words: anything in any folder may have changed
    FOLDER_GONE,  // the folder itself was deleted or moved: nothing more comes from it
  };
  Kind kind = WRITTEN;
  int folder = 0;    // what watch_folder gave for it; unused for OVERFLOWED
  std::string name;  // a name directly in the folder, without its folders
};

class Notifier {
 public:
  enum Kind { MISSING, FILE, FOLDER };
  enum Watch { WATCHING, NO_SUCH_FOLDER, LIMIT_REACHED, CANNOT_WATCH };
  enum Wait { CHANGES, TIMED_OUT, STOPPED, FAILED };

  virtual ~Notifier() = default;
  // What `name` leads to now.
  virtual Kind kind(const char* name) = 0;
  // Starts watching a folder for changes to the names in it, and gives its number in `id`.
  virtual Watch watch_folder(const char* folder, int& id) = 0;
  // The names of the files (not folders) directly in a watched folder; false when it cannot
  // be listed.
  virtual bool list(const char* folder, std::vector<std::string>& names) = 0;
  // Blocks until changes come (appended to `changes`), `timeout_ms` passes (-1: no limit),
  // or the user asks the watch to end (STOPPED), which wins over changes.
  virtual Wait wait(long timeout_ms, std::vector<Change>& changes) = 0;
};

// The size of a time of day as the messages show it: "12:04:31".
constexpr std::size_t kTimeOfDaySize = 9;

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds from a fixed point, never going back.
  virtual long long now_ms() = 0;
  // The local time of day, hours, minutes and seconds.
  virtual void time_of_day(char (&text)[kTimeOfDaySize]) = 0;
};

// The system's notifications; from then on Ctrl+C, Ctrl+Break, closing the console, SIGINT,
// SIGTERM and SIGHUP no longer end the process at once, but end the next wait (STOPPED), so
// that the watch finishes what it writes. Null when the system cannot give them.
std::unique_ptr<Notifier> system_notifier();

// The system's clock.
std::unique_ptr<Clock> system_clock();

}  // namespace veltrim
