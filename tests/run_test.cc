// The run in-process, over a world in memory: names, wildcards, the output guards and the
// identity rule, for named files and the filter alike, without a disk or a Windows system.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "driver/messages.h"
#include "fake_files.h"
#include "said.h"

namespace veltrim::testing {
namespace {

std::string g_said;
std::string g_complained;

// The fakes a run is handed.
struct Fakes {
  FakeFiles files;
  FakeNames names;
};

// Sets a world up as a row wants it.
using Arrange = void (*)(Fakes&);

// Two names of one file, as a hard link or letter case makes them.
void link(Fakes& w, const std::string& name, const std::string& to) { w.files.files[name] = w.files.files[to]; }
const FileFacts kUnknownDisk = {true, false, {}};
const FileFacts kDevice = {false, false, {}};  // NUL, /dev/null, a pipe: no identity needed

struct Ran {
  std::string said;
  int status;
};

// The program's run in the fake world, by default as a script runs it with VELTRIM_STATUS=1.
Ran run(Fakes& w, std::vector<std::string> args, bool by_the_shell = false,
        bool status_wanted = true, bool (*delivered)() = nullptr) {
  g_said.clear();
  std::vector<char*> argv = {nullptr};
  for (std::string& a : args) argv.push_back(a.data());
  veltrim::World world{w.files, &w.names, [](const char* t) { g_said += t; },
                       [](const char* t) { g_complained += t; }};
  world.by_the_shell = by_the_shell;
  world.status_wanted = status_wanted;
  world.delivered = delivered;
  const int status = run_in(static_cast<int>(argv.size()), argv.data(), world);
  return {g_said, status};
}

const std::string kOk = "a{b :c }\r\n";
const std::string kIn = "a { b : c }";
const std::string kGone = "(no such file)";  // in a row's files after the run

// Rules of 8 bytes ("a{b:cd}" and a LF), so that a block of the streams ends between two.
std::string repeated(const std::string& text, std::size_t times) {
  std::string s;
  while (times-- > 0) s += text;
  return s;
}

TEST(Run, OutputGuardsAndIdentity) {
  const struct {
    const char* what;
    Arrange setup;
    const char* arg;
    std::string said;
    int status;  // as VELTRIM_STATUS=1 asks
    std::map<std::string, std::string> after;
  } rows[] = {
      {"plain", [](Fakes&) {}, "a.css", message(msg::kDone, "a.css", "a.olf"), 0, {{"a.olf", kOk}}},
      {"output replaced", [](Fakes& w) { w.files.add("a.olf", "an older, longer output"); },
       "a.css", message(msg::kDone, "a.css", "a.olf"), 0, {{"a.olf", kOk}}},
      {"output is the input", [](Fakes& w) { link(w, "a.olf", "a.css"); }, "a.css",
       message(msg::kCannotWrite, "a.olf"), 1, {{"a.css", kIn}}},
      {"output of unknown identity", [](Fakes& w) { w.files.add("a.olf", "keep")->facts = kUnknownDisk; },
       "a.css", message(msg::kCannotWrite, "a.olf"), 1, {{"a.olf", "keep"}}},
      {"made output of unknown identity, left as it cannot be told from another's",
       [](Fakes& w) { w.files.made_facts = &kUnknownDisk; }, "a.css", message(msg::kCannotWrite, "a.olf"),
       1, {{"a.olf", ""}}},
      {"input of unknown identity", [](Fakes& w) { w.files.files["a.css"]->facts = kUnknownDisk; },
       "a.css", message(msg::kCannotWrite, "a.olf"), 1, {{"a.css", kIn}, {"a.olf", kGone}}},
      {"output a device", [](Fakes& w) { w.files.add("a.olf", "")->facts = kDevice; }, "a.css",
       message(msg::kDone, "a.css", "a.olf"), 0, {{"a.olf", kOk}}},
      {"output locked by another run", [](Fakes& w) { w.files.add("a.olf", "theirs"); w.files.locked = {"a.olf"}; },
       "a.css", message(msg::kCannotWrite, "a.olf"), 1, {{"a.olf", "theirs"}}},
      {"truncate fails", [](Fakes& w) { w.files.add("a.olf", "keep")->fail_truncate = true; },
       "a.css", message(msg::kCannotWrite, "a.olf"), 1, {{"a.olf", "keep"}}},
      {"close fails after the last write", [](Fakes& w) { w.files.add("a.olf", "")->fail_close = true; },
       "a.css", message(msg::kWriteFailed, "a.olf"), 1, {{"a.olf", kOk}}},
      {"read fails after the first block",
       [](Fakes& w) { w.files.add("a.css", repeated("a{b:cd}\n", kBlockSize / 4))->fail_read_at = kBlockSize; },
       "a.css", message(msg::kReadFailed, "a.css"), 1, {{"a.olf", repeated("a{b:cd}\r\n", kBlockSize / 8)}}},
      {"read fails after the head", [](Fakes& w) { w.files.add("a.css", "a{} b{}")->fail_read_at = 4; },
       "a.css", message(msg::kReadFailed, "a.css"), 1, {{"a.olf", "a{}\r\n"}}},
      {"byte order mark lost at the close",
       [](Fakes& w) { w.files.add("a.css", "\xEF\xBB\xBF "); w.files.add("a.olf", "")->fail_write_at = 0; },
       "a.css", message(msg::kWriteFailed, "a.olf"), 1, {{"a.olf", ""}}},
      {"missing input", [](Fakes&) {}, "b.css", message(msg::kCannotRead, "b.css"), 1, {}},
      {"short output name of another file",
       [](Fakes& w) { w.names.held_for["a.olf"] = "a long theme.olf"; w.files.add("a.olf", "notes"); },
       "a.css", message(msg::kCannotWrite, "a.olf"), 1, {{"a.olf", "notes"}}},
      {"short input name", [](Fakes& w) { w.names.held_for["LONG~1.CSS"] = "long name.css"; w.files.add("long name.css", kIn); },
       "LONG~1.CSS", message(msg::kDone, "long name.css", "long name.olf"), 0, {{"long name.olf", kOk}}},
      {"wildcard, no match", [](Fakes&) {}, "*.css", message(msg::kCannotRead, "*.css"), 1, {}},
      {"wildcard, first match fails", [](Fakes& w) { w.names.entries = {{"0.css"}, {"a.css"}}; }, "*.css",
       message(msg::kCannotRead, "0.css") + message(msg::kDone, "a.css", "a.olf"), 1, {{"a.olf", kOk}}},
  };
  for (const auto& row : rows) {
    Fakes w;
    w.files.add("a.css", kIn);
    row.setup(w);
    const Ran r = run(w, {row.arg});
    EXPECT_EQ(r.said, msg::kBanner + row.said) << row.what;
    EXPECT_EQ(r.status, row.status) << row.what;
    for (const auto& [name, bytes] : row.after) {
      const auto found = w.files.files.find(name);
      EXPECT_EQ(found == w.files.files.end() ? kGone : found->second->bytes, bytes)
          << row.what << ": " << name;
    }
  }
}

// Regression: where letter case makes names differ, A.css and a.css both wrote into the one
// A.olf. Whichever order the folder lists them in, A.css comes first and a.css is refused.
TEST(Run, WildcardNeverWritesOneOutputTwice) {
  for (const bool reversed : {false, true}) {
    Fakes w;
    w.files.add("A.css", "A { x : 1 }");
    w.files.add("a.css", "a { x : 2 }");
    w.files.add("A.olf", "");
    link(w, "a.olf", "A.olf");  // one file, by either letter case
    w.names.entries = {{"A.css"}, {"a.css"}};
    if (reversed) std::swap(w.names.entries[0], w.names.entries[1]);
    const Ran r = run(w, {"*.css"});
    EXPECT_EQ(r.said, msg::kBanner + message(msg::kDone, "A.css", "A.olf") +
                          message(msg::kCannotWrite, "a.olf"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(w.files.files["A.olf"]->bytes, "A{x :1 }\r\n");
  }
}

// Explorer hands over every file dropped or sent: each is converted in order, under one
// banner. Anyone else's further names are ignored, as scripts rely on. Regression: two bad
// names among the files sent gave two identical lines; each refusal among several names its
// file now, and a single file is refused as it always was.
TEST(Run, EveryArgumentWhenAskedTheFirstOtherwise) {
  const std::string long_name = std::string(500, 'n') + "\xC4\x8D" + std::string(55, 'e') + ".txt";
  const struct {
    const char* what;
    std::vector<std::string> args;
    bool every;
    std::string said;
  } rows[] = {
      {"first only", {"a.css", "b.txt", "c.css"}, false, message(msg::kDone, "a.css", "a.olf")},
      {"every one", {"a.css", "b.txt", "c.css"}, true,
       message(msg::kDone, "a.css", "a.olf") + message(msg::kNamedNoCss, "b.txt") +
           message(msg::kDone, "c.css", "c.olf")},
      {"one file", {"b.txt"}, true, msg::kNameNoCss},
      {"several refused", {"a.cs", "b.txt", "b.css.bak", long_name}, true,
       message(msg::kNamedTooShort, "a.cs") + message(msg::kNamedNoCss, "b.txt") +
           message(msg::kNamedCssNotAtEnd, "b.css.bak") +
           message(msg::kNamedTooLong, long_name.substr(502))},  // not from inside the U+010D
  };
  for (const auto& row : rows) {
    Fakes w;
    for (const char* name : {"a.css", "b.txt", "c.css"}) w.files.add(name, kIn);
    const Ran r = run(w, row.args, row.every);
    EXPECT_EQ(r.said, msg::kBanner + row.said) << row.what;
    EXPECT_EQ(r.status, r.said.find("Chybny") == std::string::npos ? 0 : 1) << row.what;
    EXPECT_EQ(w.files.files.count("c.olf"), row.said.find("c.olf") != std::string::npos ? 1u : 0u)
        << row.what;
  }
}

// What the environment hands the run: whether the shell started it (every argument a file),
// whether VELTRIM_STATUS wants failures told, and whether the messages reached their streams.
TEST(Run, StatusAndEveryArgumentFromTheWorld) {
  const auto lost = [] { return false; };
  const auto kept = [] { return true; };
  const std::string a_done = message(msg::kDone, "a.css", "a.olf");
  const struct {
    const char* what;
    std::vector<std::string> args;
    std::string said;  // after the banner
    int status;
    bool by_the_shell, status_wanted, delivered;
  } rows[] = {
      {"success", {"a.css"}, a_done, 0, false, true, true},
      {"failure, status wanted", {"b.css"}, message(msg::kCannotRead, "b.css"), 1, false, true, true},
      {"failure, status not wanted", {"b.css"}, message(msg::kCannotRead, "b.css"), 0, false, false, true},
      {"messages lost, status wanted", {"a.css"}, a_done, 1, false, true, false},
      {"messages lost, status not wanted", {"a.css"}, a_done, 0, false, false, false},
      {"the shell's A.css and a.css reach one output", {"A.css", "a.css"},
       message(msg::kDone, "A.css", "A.olf") + message(msg::kCannotWrite, "a.olf"), 1, true, true, true},
      {"filter, status not wanted", {"-"}, "", 0, false, false, true},
      {"filter's messages lost, status not wanted", {"-"}, "", 1, false, false, false},
  };
  for (const auto& row : rows) {
    Fakes w;
    w.files.add("a.css", kIn);
    w.files.add("A.css", kIn);
    w.files.add("A.olf", "");
    link(w, "a.olf", "A.olf");  // one file, by either letter case
    w.files.in = std::make_shared<FakeFile>(FakeFile{kIn, {true, true, {2, 1}}});
    w.files.out = std::make_shared<FakeFile>(FakeFile{"", {true, true, {2, 2}}});
    const Ran r = run(w, row.args, row.by_the_shell, row.status_wanted, row.delivered ? +kept : +lost);
    EXPECT_EQ(r.said, row.args[0] == "-" ? "" : msg::kBanner + row.said) << row.what;
    EXPECT_EQ(r.status, row.status) << row.what;
  }
}

// `veltrim -`: one identity rule with the named files. Regression: on Windows, an output
// appended to its own input whose identity could not be read (Git Bash's `>>` handle) grew
// the file until the disk was full; unknown is now taken for the same.
TEST(Run, FilterRefusesAnOutputThatMayBeItsInput) {
  const struct {
    const char* what;
    FileFacts in;
    FileFacts out;
    bool same;  // one file behind both
    bool ok;
  } rows[] = {
      {"two files", {true, true, {1, 1}}, {true, true, {1, 2}}, false, true},
      {"one file", {true, true, {1, 1}}, {true, true, {1, 1}}, true, false},
      {"output of unknown identity", {true, true, {1, 1}}, kUnknownDisk, false, false},
      {"input of unknown identity", kUnknownDisk, {true, true, {1, 2}}, false, false},
      {"devices, as </dev/null >/dev/null", kDevice, kDevice, false, true},
      {"a pipe into a file", kDevice, {true, true, {1, 2}}, false, true},
  };
  for (const auto& row : rows) {
    Fakes w;
    w.files.in = std::make_shared<FakeFile>(FakeFile{kIn, row.in});
    w.files.out = row.same ? w.files.in : std::make_shared<FakeFile>(FakeFile{"", row.out});
    g_complained.clear();
    const veltrim::World world{w.files, nullptr, [](const char*) { ADD_FAILURE() << "said"; },
                               [](const char* t) { g_complained += t; }};
    EXPECT_EQ(filter(world), row.ok) << row.what;
    EXPECT_EQ(g_complained, row.ok ? "" : message(msg::kCannotWrite, "-")) << row.what;
    EXPECT_EQ(w.files.in->bytes, kIn) << row.what;
    if (row.ok) {
      EXPECT_EQ(w.files.out->bytes, kOk) << row.what;
    }
  }
}

}  // namespace
}  // namespace veltrim::testing
