// The operating system's file, the one place the unit tests touch the disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/native_file.h"
#include "temp_dir.h"

namespace veltrim::testing {
namespace {

namespace fs = std::filesystem;

class NativeFileTest : public ::testing::Test {
 protected:
  ScopedTempDir dir_;
};

TEST_F(NativeFileTest, ReadsWholeFileThroughStream) {
  write_file("in.css", "a/b");
  NativeInputFile raw;
  ASSERT_TRUE(raw.open("in.css"));
  auto in = std::make_unique<InStream>();
  in_attach(*in, &raw, 2);
  unsigned char c = 0;
  std::uint32_t n = 0;
  std::string seen;
  for (in_read_byte(*in, &c, &n); n == 1; in_read_byte(*in, &c, &n)) seen += static_cast<char>(c);
  EXPECT_EQ(seen, "a/b");
  EXPECT_FALSE(in->failed);
}

TEST_F(NativeFileTest, RefusesMissingFileAndFolder) {
  fs::create_directory("dir.css");
  NativeInputFile a;
  NativeInputFile b;
  EXPECT_FALSE(a.open("missing.css"));
  EXPECT_FALSE(b.open("dir.css"));
}

// The output keeps its bytes until the run truncates it: until then it may still turn out
// to be the input under another name.
TEST_F(NativeFileTest, OutputIsTruncatedOnlyWhenAsked) {
  write_file("out.olf", "a much longer old content");
  {
    NativeOutputFile out;
    ASSERT_TRUE(out.open("out.olf"));
    EXPECT_TRUE(out.close());
  }
  EXPECT_EQ(read_file("out.olf"), "a much longer old content");
  NativeOutputFile out;
  ASSERT_TRUE(out.open("out.olf"));
  ASSERT_TRUE(out.truncate());
  const unsigned char bytes[] = {'n', 'e', 'w'};
  EXPECT_EQ(out.write(bytes, 3), 3);
  EXPECT_TRUE(out.close());
  EXPECT_EQ(read_file("out.olf"), "new");
}

// A refused output that the open made goes again; one that was there stays as it was, and so
// does a file that another program moved onto the name meanwhile (Windows does not let one
// while the output is open: then the output is removed as made).
TEST_F(NativeFileTest, DiscardRemovesOnlyTheFileItMade) {
  const struct {
    const char* what;
    const char* before;  // nullptr: no file of that name
    bool moved_onto;     // another file renamed onto the name once the output is open
  } rows[] = {
      {"made", nullptr, false},
      {"there before", "old bytes", false},
      {"made, then another in its place", nullptr, true},
  };
  for (const auto& row : rows) {
    fs::remove("o.olf");
    if (row.before != nullptr) write_file("o.olf", row.before);
    write_file("theirs.txt", "theirs");
    NativeOutputFile out;
    ASSERT_TRUE(out.open("o.olf")) << row.what;
    std::error_code moved;
    if (row.moved_onto) fs::rename("theirs.txt", "o.olf", moved);
    out.discard();
    const bool theirs = row.moved_onto && !moved;
    EXPECT_EQ(fs::exists("o.olf"), row.before != nullptr || theirs) << row.what;
    if (row.before != nullptr || theirs) {
      EXPECT_EQ(read_file("o.olf"), theirs ? "theirs" : row.before) << row.what;
    }
  }
}

// One file under two names is one identity; another file, or a device, is another.
TEST_F(NativeFileTest, IdentityTellsOneFileUnderEveryName) {
  write_file("in.css", "keep me");
  write_file("other.olf", "other");
  NativeInputFile in;
  ASSERT_TRUE(in.open("in.css"));
  fs::create_hard_link("in.css", "hard.olf");
  const struct {
    const char* name;
    Sameness want;
  } rows[] = {
      {"in.css", SAME_FILE},
      {"hard.olf", SAME_FILE},
      {"other.olf", OTHER_FILE},
#ifndef _WIN32
      {"/dev/null", OTHER_FILE},  // a device: never another file's bytes
#endif
  };
  for (const auto& row : rows) {
    NativeOutputFile out;
    ASSERT_TRUE(out.open(row.name)) << row.name;
    EXPECT_EQ(sameness(out.facts(), in.facts()), row.want) << row.name;
  }
  EXPECT_EQ(read_file("in.css"), "keep me");
}

#ifndef _WIN32
// Regression: an output name that was a symbolic link wrote wherever it pointed, outside the
// folder too, and a dangling one created the file it named. A link among the folders of the
// path is the user's own layout, and is followed.
TEST_F(NativeFileTest, SymbolicLinkAsOutputIsNeverWrittenThrough) {
  fs::create_directories("outside");
  fs::create_directories("in");
  write_file("outside/target.txt", "keep me");
  fs::create_symlink("../outside/target.txt", "in/x.olf");
  fs::create_symlink("../outside/new.txt", "in/dangling.olf");
  fs::create_directory_symlink("outside", "via");
  for (const char* name : {"in/x.olf", "in/dangling.olf"}) {
    NativeOutputFile out;
    EXPECT_FALSE(out.open(name)) << name;
  }
  EXPECT_EQ(read_file("outside/target.txt"), "keep me");
  EXPECT_FALSE(fs::exists("outside/new.txt"));
  EXPECT_TRUE(fs::is_symlink("in/x.olf"));
  NativeOutputFile through_folder;
  EXPECT_TRUE(through_folder.open("via/made.olf"));
  EXPECT_TRUE(fs::exists("outside/made.olf"));
}
#else
// Names Windows keeps for devices open a console, a port or nothing: refused, in any folder.
TEST_F(NativeFileTest, DevicesAreNotFiles) {
  for (const char* name : {"NUL.css", "aux.css", "COM1.css", "sub\\con.css", "CONIN$", "\\\\.\\NUL",
                           "\\\\?\\GLOBALROOT\\Device\\Null"}) {
    NativeInputFile f;
    EXPECT_FALSE(f.open(name)) << name;
    NativeOutputFile out;
    EXPECT_FALSE(out.open(name)) << name;
  }
}
#endif

}  // namespace
}  // namespace veltrim::testing
