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
  bool ok;
};

Ran run(Fakes& w, std::vector<std::string> args, bool every_argument = false) {
  g_said.clear();
  std::vector<char*> argv = {nullptr};
  for (std::string& a : args) argv.push_back(a.data());
  const veltrim::World world{w.files, &w.names, [](const char* t) { g_said += t; },
                             [](const char* t) { g_complained += t; }};
  const bool ok = run_once(static_cast<int>(argv.size()), argv.data(), world, every_argument);
  return {g_said, ok};
}

const std::string kOk = "a{b :c }\r\n";
const std::string kIn = "a { b : c }";

TEST(Run, OutputGuardsAndIdentity) {
  const struct {
    const char* what;
    Arrange setup;
    const char* arg;
    std::string said;
    std::map<std::string, std::string> after;
  } rows[] = {
      {"plain", [](Fakes&) {}, "a.css", message(msg::kDone, "a.css", "a.olf"), {{"a.olf", kOk}}},
      {"output replaced", [](Fakes& w) { w.files.add("a.olf", "an older, longer output"); },
       "a.css", message(msg::kDone, "a.css", "a.olf"), {{"a.olf", kOk}}},
      {"output is the input", [](Fakes& w) { link(w, "a.olf", "a.css"); }, "a.css",
       message(msg::kCannotWrite, "a.olf"), {{"a.css", kIn}}},
      {"output of unknown identity", [](Fakes& w) { w.files.add("a.olf", "keep")->facts = kUnknownDisk; },
       "a.css", message(msg::kCannotWrite, "a.olf"), {{"a.olf", "keep"}}},
      {"input of unknown identity", [](Fakes& w) { w.files.files["a.css"]->facts = kUnknownDisk; },
       "a.css", message(msg::kCannotWrite, "a.olf"), {{"a.css", kIn}}},
      {"output a device", [](Fakes& w) { w.files.add("a.olf", "")->facts = kDevice; }, "a.css",
       message(msg::kDone, "a.css", "a.olf"), {{"a.olf", kOk}}},
      {"missing input", [](Fakes&) {}, "b.css", message(msg::kCannotRead, "b.css"), {}},
      {"short output name of another file",
       [](Fakes& w) { w.names.held_for["a.olf"] = "a long theme.olf"; w.files.add("a.olf", "notes"); },
       "a.css", message(msg::kCannotWrite, "a.olf"), {{"a.olf", "notes"}}},
      {"short input name", [](Fakes& w) { w.names.held_for["LONG~1.CSS"] = "long name.css"; w.files.add("long name.css", kIn); },
       "LONG~1.CSS", message(msg::kDone, "long name.css", "long name.olf"), {{"long name.olf", kOk}}},
      {"wildcard, no match", [](Fakes&) {}, "*.css", message(msg::kCannotRead, "*.css"), {}},
  };
  for (const auto& row : rows) {
    Fakes w;
    w.files.add("a.css", kIn);
    row.setup(w);
    EXPECT_EQ(run(w, {row.arg}).said, msg::kBanner + row.said) << row.what;
    for (const auto& [name, bytes] : row.after) {
      EXPECT_EQ(w.files.files[name]->bytes, bytes) << row.what << ": " << name;
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
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(w.files.files["A.olf"]->bytes, "A{x :1 }\r\n");
  }
}

// Explorer hands over every file dropped or sent: each is converted in order, under one
// banner. Anyone else's further names are ignored, as scripts rely on.
TEST(Run, EveryArgumentWhenAskedTheFirstOtherwise) {
  for (const bool every : {true, false}) {
    Fakes w;
    for (const char* name : {"a.css", "b.css", "c.css"}) w.files.add(name, kIn);
    const Ran r = run(w, {"a.css", "b.txt", "c.css"}, every);
    std::string want = msg::kBanner + message(msg::kDone, "a.css", "a.olf");
    if (every) want += msg::kNameNoCss + message(msg::kDone, "c.css", "c.olf");
    EXPECT_EQ(r.said, want);
    EXPECT_EQ(r.ok, !every);
    EXPECT_EQ(w.files.files.count("c.olf"), every ? 1u : 0u);
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
