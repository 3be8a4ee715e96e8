#include "driver/watch.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "driver/messages.h"

namespace veltrim {

namespace {

#ifdef _WIN32
// Windows names differ in letter case alone only where nobody can tell them apart.
constexpr bool kCaseAside = true;
constexpr const char* kSeparators = "/\\:";
#else
constexpr bool kCaseAside = false;
constexpr const char* kSeparators = "/";
#endif

char folded(char c) {
  return kCaseAside && c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether `a` from its byte `from` on is the name `b`; compared in place, since every change
// is compared with every watched file.
bool same_name(const std::string& a, std::size_t from, const std::string& b) {
  return a.size() - from == b.size() &&
         std::equal(b.begin(), b.end(), a.begin() + static_cast<std::ptrdiff_t>(from),
                    [](char x, char y) { return folded(x) == folded(y); });
}

// True when `name` matches `pattern`, in which '*' stands for any run of characters and '?'
// for one (the bytes of one UTF-8 character). A name without either matches itself alone.
bool matches(const char* pattern, const char* name) {
  const char* star = nullptr;  // just after the last '*' seen, where a mismatch goes back to
  const char* resume = name;   // the name where that '*' matched up to
  while (*name != '\0') {
    if (*pattern == '*') {
      star = ++pattern;
      resume = name;
    } else if (*pattern == '?' || (*pattern != '\0' && folded(*pattern) == folded(*name))) {
      const bool any = *pattern++ == '?';
      ++name;
      while (any && (static_cast<unsigned char>(*name) & 0xC0) == 0x80) ++name;
    } else if (star != nullptr) {
      pattern = star;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

std::size_t folders_length(const std::string& name) {
  const std::size_t last = name.find_last_of(kSeparators);
  return last == std::string::npos ? 0 : last + 1;
}

// One name given: a file, a wildcard, or a folder.
struct Target {
  std::string folders;  // as typed, with their separator: a file found is named folders + name
  std::string pattern;  // the last component, a name or a wildcard; empty for a folder
  int folder = 0;
};

struct Folder {
  std::string path;   // as the notifier takes it
  std::string shown;  // as the messages name it
  int id = 0;
  bool live = true;
};

// One file the watch converts.
struct Watched {
  std::string name;  // as it is opened and named in messages
  std::size_t folders = 0;  // the length of its folders in `name`
  int folder = 0;
  bool pending = false;  // a change waits for its quiet time to pass
  long long due = 0;     // when it has
  bool failed = false;   // its last conversion failed
  bool gone = false;     // it was missing when last looked at
  std::string output;    // the output's name; empty for a name that is no stylesheet's
};

// Converts a stylesheet into its output, put in place whole, and fills `text` with the result
// line; false when that tells of a failure.
bool convert_replacing(const World& world, const char* in_name, char (&text)[kClosingSize]) {
  char long_name[kNameSize];
  char out_name[kNameSize];
  const NameCheck check = conversion_names(world, in_name, long_name, out_name);
  if (check != NAME_OK) {
    std::snprintf(text, sizeof text, "%s", name_refusal(check));
    return false;
  }
  const std::unique_ptr<InputFile> in = world.files.open_input(in_name);
  if (in == nullptr) {
    std::snprintf(text, sizeof text, msg::kCannotRead, in_name);
    return false;
  }
  std::unique_ptr<ReplacingFile> out;
  if (world.names == nullptr || names_its_own_file(*world.names, out_name)) {
    out = world.files.open_replacing(out_name);
  }
  if (out == nullptr || sameness(out->facts(), in->facts()) != OTHER_FILE) {
    std::snprintf(text, sizeof text, msg::kCannotWrite, out_name);
    return false;
  }
  Outcome outcome = convert_files(*in, *out);
  // Only a whole conversion takes the old output's place; the new file goes otherwise.
  if (!outcome.read_failed && !outcome.write_failed && !out->commit()) outcome.write_failed = true;
  closing_text(outcome, in_name, out_name, text);
  return !outcome.read_failed && !outcome.write_failed;
}

class WatchLoop {
 public:
  WatchLoop(const World& world, Notifier& notifier, Clock& clock)
      : world_(world), notifier_(notifier), clock_(clock) {}

  // Watches each name and converts the files it names, in the order given.
  void start(int count, char** names) {
    for (int i = 0; i < count && !stopped_; ++i) add_target(names[i]);
    world_.say(msg::kWatching);
  }

  // Until the user ends it, the notifications fail, or no folder is left.
  void run() {
    std::vector<Change> changes;
    while (!stopped_ && std::any_of(folders_.begin(), folders_.end(), [](const Folder& f) { return f.live; })) {
      if (backlog_.empty()) {
        const Notifier::Wait wait = notifier_.wait(timeout(), backlog_);
        if (wait == Notifier::STOPPED) return;
        if (wait == Notifier::FAILED) {
          tell(msg::kWatchBroken, "");
          unwatched_ = true;
          return;
        }
      }
      const long long now = clock_.now_ms();
      changes.clear();
      changes.swap(backlog_);
      overflowed_ = false;
      for (const Change& change : changes) take(change, now);
      convert_due(now);
    }
  }

  bool ok() const {
    return !unwatched_ &&
           std::none_of(files_.begin(), files_.end(), [](const Watched& f) { return f.failed; });
  }

 private:
  void add_target(const char* arg) {
    Target target;
    std::string shown;
    const std::string name(arg);
    const bool wildcard = has_wildcard(arg);
    if (notifier_.kind(arg) == Notifier::FOLDER) {
      const bool closed = folders_length(name) == name.size();
      target.folders = closed ? name : name + "/";
      shown = name;
    } else {
      target.folders = name.substr(0, folders_length(name));
      target.pattern = name.substr(target.folders.size());
      // A plain name is checked at once: a wrong one would never convert.
      if (!wildcard) {
        char out_name[kNameSize];
        const NameCheck check = check_name(arg, out_name);
        if (check != NAME_OK) {
          world_.say(name_refusal(check));
          unwatched_ = true;
          return;
        }
      }
      shown = target.folders.empty() ? "." : target.folders;
    }
    // "dir/." is the folder "dir", "." the current one, "/." the root: one name for a folder
    // however it was given, so that it is watched once.
    target.folder = watch_folder(target.folders + ".", shown);
    if (target.folder < 0) {
      unwatched_ = true;
      return;
    }
    targets_.push_back(target);
    if (target.pattern.empty() || wildcard) {
      for (const std::string& found : stylesheets(target)) start_file(target, found);
    } else {
      start_file(target, target.pattern);
    }
  }

  // The notifier's number for a folder, or -1 after saying why it cannot be watched.
  int watch_folder(const std::string& path, const std::string& shown) {
    for (const Folder& f : folders_) {
      if (f.live && f.path == path) return f.id;
    }
    Folder folder{path, shown, 0, true};
    const Notifier::Watch watch = notifier_.watch_folder(path.c_str(), folder.id);
    if (watch != Notifier::WATCHING) {
      tell(watch == Notifier::NO_SUCH_FOLDER  ? msg::kWatchNoFolder
           : watch == Notifier::LIMIT_REACHED ? msg::kWatchLimit
                                              : msg::kWatchCannot,
           shown.c_str(), false);
      return -1;
    }
    folders_.push_back(folder);
    return folder.id;
  }

  // The stylesheets of a wildcard's or a folder's target that are in its folder now, in name
  // order (letter case aside, then by case).
  std::vector<std::string> stylesheets(const Target& target) {
    std::vector<std::string> names;
    std::vector<std::string> found;
    for (const Folder& f : folders_) {
      if (f.id == target.folder && f.live) notifier_.list(f.path.c_str(), names);
    }
    for (const std::string& n : names) {
      if (takes(target, n)) found.push_back(n);
    }
    std::sort(found.begin(), found.end(), [](const std::string& a, const std::string& b) {
      const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
      for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (fold(a[i]) != fold(b[i])) return fold(a[i]) < fold(b[i]);
      }
      return a.size() != b.size() ? a.size() < b.size() : a < b;  // by case only when all else ties
    });
    return found;
  }

  // Whether a name in the target's folder is one of its stylesheets. The outputs and the
  // new files they are written into never end in ".css", so no conversion starts another.
  static bool takes(const Target& target, const std::string& name) {
    if (!ends_in_css(name.c_str(), name.size())) return false;
    return target.pattern.empty() || matches(target.pattern.c_str(), name.c_str());
  }

  // A name given twice (or found by two targets) is one file, converted once.
  void start_file(const Target& target, const std::string& name) {
    const std::size_t count = files_.size();
    const std::size_t index = file(target, name);
    if (files_.size() > count) convert(files_[index], false);
  }

  // The index of the watched file of that name, added when new.
  std::size_t file(const Target& target, const std::string& name) {
    const std::string full = target.folders + name;
    for (std::size_t i = 0; i < files_.size(); ++i) {
      if (files_[i].name == full) return i;
    }
    Watched w;
    w.name = full;
    w.folders = target.folders.size();
    w.folder = target.folder;
    char out_name[kNameSize];
    if (check_name(full.c_str(), out_name) == NAME_OK) w.output = out_name;
    files_.push_back(w);
    return files_.size() - 1;
  }

  // Whether a file watched before `w` (another stylesheet, as "x.css" beside "x.CSS", or on
  // Windows another spelling of it) has the same output: each save of either would replace
  // the other's, so the later one is refused, as a plain run refuses the second of two.
  bool output_taken(const Watched& w) const {
    for (const Watched& before : files_) {
      if (&before == &w) return false;
      if (!w.output.empty() && same_name(before.output, 0, w.output)) return true;
    }
    return false;
  }

  void take(const Change& change, long long now) {
    if (change.kind == Change::OVERFLOWED) {
      if (overflowed_) return;
      overflowed_ = true;
      tell(msg::kWatchOverflow, "");
      for (const Target& t : targets_) {
        if (!t.pattern.empty() && !has_wildcard(t.pattern.c_str())) continue;
        for (const std::string& found : stylesheets(t)) file(t, found);
      }
      for (Watched& w : files_) {
        if (live(w.folder)) pend(w, now);
      }
      return;
    }
    if (!live(change.folder)) return;
    if (change.kind == Change::FOLDER_GONE) {
      for (Folder& f : folders_) {
        if (f.id != change.folder || !f.live) continue;
        f.live = false;
        tell(msg::kWatchFolderGone, f.shown.c_str());
      }
      return;
    }
    if (!ends_in_css(change.name.c_str(), change.name.size())) return;
    for (Watched& w : files_) {
      if (w.folder == change.folder && same_name(w.name, w.folders, change.name)) {
        pend(w, now);
        return;
      }
    }
    if (change.kind != Change::WRITTEN) return;
    for (const Target& t : targets_) {
      if (t.folder == change.folder && takes(t, change.name)) {
        pend(files_[file(t, change.name)], now);
        return;
      }
    }
  }

  void pend(Watched& w, long long now) {
    w.pending = true;
    w.due = now + kQuietMs;
  }

  bool live(int folder) const {
    return std::any_of(folders_.begin(), folders_.end(),
                       [folder](const Folder& f) { return f.live && f.id == folder; });
  }

  // How long the next wait may block: until the first pending file is due, or for ever.
  long timeout() {
    long long first = -1;
    for (const Watched& w : files_) {
      if (w.pending && live(w.folder) && (first < 0 || w.due < first)) first = w.due;
    }
    if (first < 0) return -1;
    return static_cast<long>(std::max(0LL, first - clock_.now_ms()));
  }

  void convert_due(long long now) {
    std::vector<std::size_t> due;
    for (std::size_t i = 0; i < files_.size(); ++i) {
      if (files_[i].pending && files_[i].due <= now && live(files_[i].folder)) due.push_back(i);
    }
    std::sort(due.begin(), due.end(),
              [this](std::size_t a, std::size_t b) { return files_[a].name < files_[b].name; });
    for (const std::size_t i : due) {
      if (stopped_) return;
      files_[i].pending = false;
      convert(files_[i], true);
    }
  }

  // Converts a watched file, `again` after a change; a file found missing is told of once.
  void convert(Watched& w, bool again) {
    if (notifier_.kind(w.name.c_str()) == Notifier::MISSING) {
      if (!w.gone) tell(again ? msg::kWatchRemoved : msg::kCannotRead, w.name.c_str(), again);
      // Missing from the start is a failure; removed later, its last conversion stands.
      w.failed = w.failed || !again;
      w.gone = true;
      return;
    }
    w.gone = false;
    if (output_taken(w)) {
      tell(msg::kCannotWrite, w.output.c_str(), again);
      w.failed = true;
      return;
    }
    char text[kClosingSize];
    w.failed = !convert_replacing(world_, w.name.c_str(), text);
    tell("%s", text, again);
    drain();
  }

  // Takes the changes that came meanwhile, its own output's among them, into the backlog:
  // left in the system's queue, a few thousand conversions' own changes would overflow it,
  // and the overflow would convert every file again, and so on for ever.
  void drain() {
    Notifier::Wait wait;
    do {
      wait = notifier_.wait(0, backlog_);
    } while (wait == Notifier::CHANGES);
    // A failure shows again in the next wait, which reports it.
    if (wait == Notifier::STOPPED) stopped_ = true;
  }

  // A message with one name, after a change with the time of day first.
  void tell(const char* format, const char* name, bool stamped = true) {
    char text[kClosingSize + kTimeOfDaySize + 4];
    int used = 0;
    if (stamped) {
      char time[kTimeOfDaySize];
      clock_.time_of_day(time);
      used = std::snprintf(text, sizeof text, msg::kTimeStamp, time);
    }
    std::snprintf(text + used, sizeof text - static_cast<std::size_t>(used), format, name);
    world_.say(text);
  }

  const World& world_;
  Notifier& notifier_;
  Clock& clock_;
  std::vector<Target> targets_;
  std::vector<Folder> folders_;
  std::vector<Watched> files_;
  bool unwatched_ = false;   // a name could not be watched, or the watch broke
  bool overflowed_ = false;  // told of in this round of changes already
  bool stopped_ = false;     // the user asked the watch to end while it converted
  std::vector<Change> backlog_;  // changes taken, not yet looked at
};

}  // namespace

bool is_watch_option(const char* arg) {
  return std::strcmp(arg, "--watch") == 0 || std::strcmp(arg, "-w") == 0;
}

bool watch(int argc, char** argv, const World& world, Notifier& notifier, Clock& clock) {
  world.say(msg::kBanner);
  if (argc < 3) {
    for (const char* line : msg::kHelp) world.say(line);
    return true;
  }
  WatchLoop loop(world, notifier, clock);
  loop.start(argc - 2, argv + 2);
  loop.run();
  return loop.ok();
}

}  // namespace veltrim
