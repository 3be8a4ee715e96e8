// The watch loop in-process, over a world in memory, a notifier that delivers a script of
// changes, and a clock that moves only as the loop waits: the quiet time, removal and return,
// overflow, and which changes start a conversion.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "driver/messages.h"
#include "driver/watch.h"
#include "fake_files.h"
#include "said.h"

namespace veltrim::testing {
namespace {

std::string g_said;

// One step of a script: at `at` ms, `edit` changes the files and the notifier reports
// `changes`.
struct WatchFakes;
using Edit = void (*)(WatchFakes&);
struct Step {
  long at;
  Edit edit;
  std::vector<Change> changes;
};

// The files of a watch: FakeFiles, with outputs written whole and put in place on commit, a
// set of files whose reads fail, and a count of the opens of each input.
struct WatchFakes final : FileSystem {
  FakeFiles disk;
  std::set<std::string> unreadable;
  std::set<std::string> locked;  // outputs that cannot be replaced: another program holds them
  std::map<std::string, int> opened;
  Edit while_open = nullptr;  // runs as an input opens, as an editor saving meanwhile

  std::unique_ptr<InputFile> open_input(const char* name) override {
    ++opened[name];
    if (while_open != nullptr) {
      const Edit edit = while_open;
      while_open = nullptr;
      edit(*this);
    }
    if (unreadable.count(name) != 0) return std::make_unique<Unreadable>();
    return disk.open_input(name);
  }
  std::unique_ptr<OutputFile> open_output(const char* name) override { return disk.open_output(name); }
  std::unique_ptr<ReplacingFile> open_replacing(const char* name) override {
    return std::make_unique<Replacing>(*this, name);
  }
  std::unique_ptr<InputFile> standard_input() override { return nullptr; }
  std::unique_ptr<OutputFile> standard_output() override { return nullptr; }

 private:
  struct Unreadable final : InputFile {
    long read(unsigned char*, std::size_t) override { return -1; }
    FileFacts facts() const override { return {true, true, {2, 1}}; }
  };
  class Replacing final : public ReplacingFile {
   public:
    Replacing(WatchFakes& w, std::string name) : w_(w), name_(std::move(name)) {}
    long write(const unsigned char* src, std::size_t size) override {
      bytes_.append(reinterpret_cast<const char*>(src), size);
      return static_cast<long>(size);
    }
    bool close() override { return true; }
    FileFacts facts() const override {
      const auto found = w_.disk.files.find(name_);
      return found != w_.disk.files.end() ? found->second->facts : FileFacts{true, true, {3, 1}};
    }
    bool commit() override {
      if (w_.locked.count(name_) != 0) return false;
      w_.disk.add(name_, bytes_);  // a new file in the old one's place
      return true;
    }

   private:
    WatchFakes& w_;
    std::string name_;
    std::string bytes_;
  };
};

// Folders by name ("." and "styles/."), each with an id, and the script.
class ScriptNotifier final : public Notifier {
 public:
  ScriptNotifier(WatchFakes& files, std::vector<Step> script) : files_(files), script_(std::move(script)) {}
  std::set<std::string> folders = {"styles"};
  std::map<std::string, Watch> refused;  // folders that cannot be watched, and why
  long long now = 0;

  Kind kind(const char* name) override {
    std::string n(name);
    if (!n.empty() && n.back() == '/') n.pop_back();
    if (folders.count(n) != 0) return FOLDER;
    return files_.disk.files.count(name) != 0 ? FILE : MISSING;
  }
  Watch watch_folder(const char* folder, int& id) override {
    const auto no = refused.find(folder);
    if (no != refused.end()) return no->second;
    id = std::string(folder) == "." ? 1 : 2;
    return WATCHING;
  }
  bool list(const char* folder, std::vector<std::string>& names) override {
    std::string prefix(folder);
    prefix.pop_back();  // "styles/." holds "styles/" + a name
    names.reserve(names.size() + files_.disk.files.size());
    for (const auto& entry : files_.disk.files) {
      const std::string& n = entry.first;
      if (n.compare(0, prefix.size(), prefix) == 0 && n.find('/', prefix.size()) == std::string::npos) {
        names.push_back(n.substr(prefix.size()));
      }
    }
    return true;
  }
  Wait wait(long timeout_ms, std::vector<Change>& changes) override {
    // At the script's end, the user ends the watch once nothing is pending.
    if (next_ == script_.size() && timeout_ms < 0) return STOPPED;
    if (timeout_ms >= 0 && (next_ == script_.size() || now + timeout_ms < script_[next_].at)) {
      now += timeout_ms;
      return TIMED_OUT;
    }
    const Step& step = script_[next_++];
    now = std::max(now, static_cast<long long>(step.at));
    if (step.edit != nullptr) step.edit(files_);
    changes = step.changes;
    return CHANGES;
  }

 private:
  WatchFakes& files_;
  std::vector<Step> script_;
  std::size_t next_ = 0;
};

// Seconds on the fake clock, as the stamp shows them.
class ScriptClock final : public Clock {
 public:
  explicit ScriptClock(ScriptNotifier& n) : n_(n) {}
  long long now_ms() override { return n_.now; }
  void time_of_day(char (&text)[kTimeOfDaySize]) override {
    const int second = static_cast<int>(n_.now / 1000 % 60);
    std::memcpy(text, "00:00:00", sizeof text);
    text[6] = static_cast<char>('0' + second / 10);
    text[7] = static_cast<char>('0' + second % 10);
  }

 private:
  ScriptNotifier& n_;
};

Change written(const char* name, int folder = 1) { return {Change::WRITTEN, folder, name}; }
Change removed(const char* name, int folder = 1) { return {Change::REMOVED, folder, name}; }
const Change kOverflow = {Change::OVERFLOWED, 0, ""};

const std::string kIn = "a { b : c }";
const std::string kOk = "a{b :c }\r\n";
const std::string kIn2 = "a { b : d }";
const std::string kOk2 = "a{b :d }\r\n";

void save(WatchFakes& w) { w.disk.files["a.css"]->bytes = kIn2; }
void erase(WatchFakes& w) { w.disk.files.erase("a.css"); }
void recreate(WatchFakes& w) { w.disk.add("a.css", kIn2); }
void unreadable(WatchFakes& w) { w.unreadable.insert("a.css"); }

std::string done(const char* in, const char* out) { return message(msg::kDone, in, out); }
// A line after a change, with the fake clock's stamp of second 0.
std::string again(const std::string& line) { return "[00:00:00] " + line; }
const std::string kStart = msg::kBanner + done("a.css", "a.olf") + msg::kWatching;

struct Watched {
  std::string said;
  bool ok;
};

Watched run_watch(WatchFakes& files, ScriptNotifier& notifier, std::vector<std::string> args) {
  g_said.clear();
  args.insert(args.begin(), {"veltrim", "--watch"});
  std::vector<char*> argv(args.size());
  std::transform(args.begin(), args.end(), argv.begin(), [](std::string& a) { return a.data(); });
  ScriptClock clock(notifier);
  const World world{files, nullptr, [](const char* t) { g_said += t; },
                    [](const char* t) { ADD_FAILURE() << "complained: " << t; }};
  const bool ok = watch(static_cast<int>(argv.size()), argv.data(), world, notifier, clock);
  return {g_said, ok};
}

TEST(Watch, SavesRemovalsAndWhatIsIgnored) {
  const struct {
    const char* what;
    std::vector<std::string> args;
    std::vector<Step> script;
    std::string said;  // after the start's lines
    std::string olf;   // a.olf at the end
    int opens;         // of a.css, the start's included
    bool ok;
  } rows[] = {
      {"no change", {"a.css"}, {}, "", kOk, 1, true},
      {"several writes within the quiet time convert once",
       {"a.css"}, {{10, save, {written("a.css")}}, {40, nullptr, {written("a.css")}}, {80, nullptr, {written("a.css")}}},
       again(done("a.css", "a.olf")), kOk2, 2, true},
      {"writes apart by more than the quiet time convert each",
       {"a.css"}, {{10, save, {written("a.css")}}, {10 + kQuietMs + 1, nullptr, {written("a.css")}}},
       again(done("a.css", "a.olf")) + again(done("a.css", "a.olf")), kOk2, 3, true},
      {"temporary file renamed over it",
       {"a.css"}, {{10, nullptr, {written("a.css.swp"), written("4913"), removed("4913")}},
                   {20, save, {removed("a.css"), written("a.css"), removed("a.css.swp")}}},
       again(done("a.css", "a.olf")), kOk2, 2, true},
      {"deleted and made again", {"a.css"}, {{10, erase, {removed("a.css")}}, {20, recreate, {written("a.css")}}},
       again(done("a.css", "a.olf")), kOk2, 2, true},
      {"removed, then back", {"a.css"}, {{10, erase, {removed("a.css")}}, {500, recreate, {written("a.css")}}},
       again(message(msg::kWatchRemoved, "a.css")) + again(done("a.css", "a.olf")), kOk2, 2, true},
      {"own output and its new file start nothing",
       {"a.css"}, {{10, nullptr, {written("a.olf.7-0.tmp"), written("a.olf"), removed("a.olf.7-0.tmp")}}},
       "", kOk, 1, true},
      {"another stylesheet of the folder starts nothing", {"a.css"}, {{10, nullptr, {written("b.css")}}}, "", kOk, 1, true},
      {"a change in another folder starts nothing", {"a.css"}, {{10, nullptr, {written("a.css", 2)}}}, "", kOk, 1, true},
      {"overflow converts every file again", {"a.css"}, {{10, nullptr, {kOverflow, kOverflow}}},
       again(msg::kWatchOverflow) + again(done("a.css", "a.olf")), kOk, 2, true},
      {"failed conversion keeps the old output", {"a.css"}, {{10, unreadable, {written("a.css")}}},
       again(message(msg::kReadFailed, "a.css")), kOk, 2, false},
      {"a failure, then a sound save", {"a.css"},
       {{10, unreadable, {written("a.css")}}, {500, [](WatchFakes& w) { w.unreadable.clear(); save(w); }, {written("a.css")}}},
       again(message(msg::kReadFailed, "a.css")) + again(done("a.css", "a.olf")), kOk2, 3, true},
      {"output held by another program keeps the old one", {"a.css"},
       {{10, [](WatchFakes& w) { save(w); w.locked.insert("a.olf"); }, {written("a.css")}}},
       again(message(msg::kWriteFailed, "a.olf")), kOk, 2, false},
      {"changed again while it converts", {"a.css"},
       {{10, [](WatchFakes& w) { w.while_open = save; }, {written("a.css")}}, {70, nullptr, {written("a.css")}}},
       again(done("a.css", "a.olf")) + again(done("a.css", "a.olf")), kOk2, 3, true},
      {"folder gone ends the watch", {"a.css"}, {{10, nullptr, {{Change::FOLDER_GONE, 1, ""}}}, {20, save, {written("a.css")}}},
       again(message(msg::kWatchFolderGone, ".")), kOk, 1, true},
  };
  for (const auto& row : rows) {
    WatchFakes files;
    files.disk.add("a.css", kIn);
    files.disk.add("b.css", kIn);
    ScriptNotifier notifier(files, row.script);
    const Watched w = run_watch(files, notifier, row.args);
    EXPECT_EQ(w.said, kStart + row.said) << row.what;
    EXPECT_EQ(files.opened["a.css"], row.opens) << row.what;
    EXPECT_EQ(files.disk.files["a.olf"]->bytes, row.olf) << row.what;
    EXPECT_EQ(w.ok, row.ok) << row.what;
  }
}

// Folders and wildcards: every stylesheet in the folder at the start, in name order, and one
// made later; other files never.
TEST(Watch, FoldersAndWildcardsTakeStylesheetsMadeLater) {
  const struct {
    const char* what;
    std::string arg;
    const char* later;  // made after the start, in styles/
    std::string said;
  } rows[] = {
      {"folder", "styles", "c.CSS",
       done("styles/a.css", "styles/a.olf") + done("styles/B.css", "styles/B.olf") + msg::kWatching +
           again(done("styles/c.CSS", "styles/c.olf"))},
      {"folder with its separator", "styles/", "c.css",
       done("styles/a.css", "styles/a.olf") + done("styles/B.css", "styles/B.olf") + msg::kWatching +
           again(done("styles/c.css", "styles/c.olf"))},
      {"wildcard", "styles/a*.css", "ab.css",
       done("styles/a.css", "styles/a.olf") + msg::kWatching + again(done("styles/ab.css", "styles/ab.olf"))},
      {"wildcard matching nothing yet", "styles/??.css", "cd.css",
       msg::kWatching + again(done("styles/cd.css", "styles/cd.olf"))},
      {"a file that is no stylesheet", "styles", "c.txt",
       done("styles/a.css", "styles/a.olf") + done("styles/B.css", "styles/B.olf") + msg::kWatching},
  };
  for (const auto& row : rows) {
    WatchFakes files;
    for (const char* name : {"styles/B.css", "styles/a.css", "styles/notes.txt", "styles/a.olf", "b.css"}) {
      files.disk.add(name, kIn);
    }
    static const char* later;
    later = row.later;
    ScriptNotifier notifier(
        files, {{10, [](WatchFakes& w) { w.disk.add(std::string("styles/") + later, kIn); },
                 {written(row.later, 2), written("styles", 2)}}});
    const Watched w = run_watch(files, notifier, {row.arg});
    EXPECT_EQ(w.said, msg::kBanner + row.said) << row.what;
    EXPECT_TRUE(w.ok) << row.what;
  }
}

// Names that cannot be watched say so, naming the folder, and the others are watched still.
TEST(Watch, NamesThatCannotBeWatched) {
  const struct {
    const char* what;
    std::string arg;
    Notifier::Watch refusal;
    std::string said;
  } rows[] = {
      {"no such folder", "gone/a.css", Notifier::NO_SUCH_FOLDER, message(msg::kWatchNoFolder, "gone/")},
      {"limit on watches", "full/a.css", Notifier::LIMIT_REACHED, message(msg::kWatchLimit, "full/")},
      {"folder without rights", "shut/a.css", Notifier::CANNOT_WATCH, message(msg::kWatchCannot, "shut/")},
      {"no stylesheet", "a.txt", Notifier::WATCHING, msg::kNameNoCss},
      {"missing stylesheet", "c.css", Notifier::WATCHING, message(msg::kCannotRead, "c.css")},
  };
  for (const auto& row : rows) {
    WatchFakes files;
    files.disk.add("a.css", kIn);
    ScriptNotifier notifier(files, {});
    notifier.refused[row.arg.substr(0, 5) + "."] = row.refusal;
    const Watched w = run_watch(files, notifier, {row.arg, "a.css"});
    EXPECT_EQ(w.said, msg::kBanner + row.said + done("a.css", "a.olf") + msg::kWatching) << row.what;
    EXPECT_FALSE(w.ok) << row.what;
  }
}

// Regression: two watched stylesheets with one output would each replace the other's on every
// save; the later one is refused, at the start and after each of its saves, as a plain run
// refuses the second of two. One name given twice is one file.
TEST(Watch, TwoStylesheetsWithOneOutput) {
  const std::string x_refused = message(msg::kCannotWrite, "x.olf");
#ifdef _WIN32
  // One file by either spelling: the save converts the first, and a.css is A.css again.
  const std::string x_saved = again(done("x.css", "x.olf"));
  const std::string other_case = message(msg::kCannotWrite, "a.olf");
  const bool other_case_ok = false;
#else
  const std::string x_saved = again(x_refused);
  const std::string other_case = done("a.css", "a.olf");
  const bool other_case_ok = true;
#endif
  const struct {
    const char* what;
    std::vector<std::string> args;
    std::string said;  // after the banner
    std::string olf;   // x.olf at the end, "" for none
    bool ok;
  } rows[] = {
      {"extension in other letter case", {"x.css", "x.CSS"},
       done("x.css", "x.olf") + x_refused + msg::kWatching + x_saved, kOk, false},
      {"one name twice", {"x.CSS", "x.CSS"},
       done("x.CSS", "x.olf") + msg::kWatching + again(done("x.CSS", "x.olf")), kOk2, true},
      {"name in other letter case", {"A.css", "a.css"},
       done("A.css", "A.olf") + other_case + msg::kWatching, "", other_case_ok},
  };
  for (const auto& row : rows) {
    WatchFakes files;
    files.disk.add("x.css", kIn);
    files.disk.add("x.CSS", kIn2);
    files.disk.add("A.css", kIn);
    files.disk.add("a.css", kIn);
    ScriptNotifier notifier(files, {{10, nullptr, {written("x.CSS")}}});
    const Watched w = run_watch(files, notifier, row.args);
    EXPECT_EQ(w.said, msg::kBanner + row.said) << row.what;
    const auto olf = files.disk.files.find("x.olf");
    EXPECT_EQ(olf != files.disk.files.end() ? olf->second->bytes : "", row.olf) << row.what;
    EXPECT_EQ(w.ok, row.ok) << row.what;
  }
}

// Regression: a stylesheet missing at the start is watched, and converts once it is made.
TEST(Watch, MissingAtTheStartConvertsWhenMade) {
  WatchFakes files;
  ScriptNotifier notifier(files, {{10, recreate, {written("a.css")}}});
  const Watched w = run_watch(files, notifier, {"a.css"});
  EXPECT_EQ(w.said, msg::kBanner + message(msg::kCannotRead, "a.css") + msg::kWatching +
                        again(done("a.css", "a.olf")));
  EXPECT_TRUE(w.ok);
}

}  // namespace
}  // namespace veltrim::testing
