// The operating system's file, the one place the unit tests touch the disk.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/os_file.h"
#include "temp_dir.h"

namespace veltrim::testing {
namespace {

namespace fs = std::filesystem;

class SystemFileTest : public ::testing::Test {
 protected:
  ScopedTempDir dir_;
};

TEST_F(SystemFileTest, ReadsWholeFileThroughStream) {
  write_file("in.css", "a/b");
  FileSource raw;
  ASSERT_TRUE(raw.open("in.css"));
  auto in = std::make_unique<InFile>();
  in_attach(*in, &raw, 2);
  unsigned char c = 0;
  std::uint32_t n = 0;
  std::string seen;
  while (in_read_byte(*in, &c, &n) && n == 1) seen += static_cast<char>(c);
  EXPECT_EQ(seen, "a/b");
  EXPECT_FALSE(in->failed);
}

TEST_F(SystemFileTest, RefusesMissingFileAndFolder) {
  fs::create_directory("dir.css");
  FileSource a;
  FileSource b;
  EXPECT_FALSE(a.open("missing.css"));
  EXPECT_FALSE(b.open("dir.css"));
}

TEST_F(SystemFileTest, CreateTruncatesExistingOutput) {
  write_file("in.css", "in");
  write_file("out.olf", "a much longer old content");
  FileSource in;
  ASSERT_TRUE(in.open("in.css"));
  FileSink out;
  ASSERT_TRUE(out.create("out.olf", in, {}));
  const unsigned char bytes[] = {'n', 'e', 'w'};
  EXPECT_EQ(out.write(bytes, 3), 3);
  EXPECT_TRUE(out.close());
  EXPECT_EQ(read_file("out.olf"), "new");
}

// A name that leads to the open input, or to an output this run has written, directly or
// through a link, must not let the output truncate it.
TEST_F(SystemFileTest, RefusesOutputThatIsTheInputOrWrittenBefore) {
  write_file("in.css", "keep me");
  write_file("done.olf", "written before");
  std::vector<std::string> names = {"in.css", "done.olf"};
#ifndef _WIN32
  fs::create_symlink("in.css", "sym.olf");
  fs::create_hard_link("in.css", "hard.olf");
  fs::create_hard_link("done.olf", "done-link.olf");
  names.insert(names.end(), {"sym.olf", "hard.olf", "done-link.olf"});
#endif
  FileSource in;
  ASSERT_TRUE(in.open("in.css"));
  FileSource done;
  ASSERT_TRUE(done.open("done.olf"));
  std::vector<FileId> written(1);
  ASSERT_TRUE(done.identity(written[0]));
  for (const std::string& name : names) {
    FileSink out;
    EXPECT_FALSE(out.create(name.c_str(), in, written)) << name;
  }
  EXPECT_EQ(read_file("in.css"), "keep me");
  EXPECT_EQ(read_file("done.olf"), "written before");
}

#ifndef _WIN32
// Regression: when the input's identity could not be read (fstat failing), the same-file
// guard was skipped and a link to the input was truncated. An input whose identity is
// unknown, here one that never opened, now refuses every output.
TEST_F(SystemFileTest, OutputIsRefusedWhenTheInputsIdentityIsUnknown) {
  write_file("out.olf", "keep me");
  FileSource unknown;
  FileSink out;
  EXPECT_FALSE(out.create("out.olf", unknown, {}));
  EXPECT_EQ(read_file("out.olf"), "keep me");
}
#else
// Names Windows keeps for devices open a console, a port or nothing: refused, in any folder.
TEST_F(SystemFileTest, DevicesAreNotFiles) {
  write_file("in.css", "in");
  FileSource in;
  ASSERT_TRUE(in.open("in.css"));
  for (const char* name : {"NUL.css", "aux.css", "COM1.css", "sub\\con.css", "CONIN$", "\\\\.\\NUL",
                           "\\\\?\\GLOBALROOT\\Device\\Null"}) {
    FileSource f;
    EXPECT_FALSE(f.open(name)) << name;
    FileSink out;
    EXPECT_FALSE(out.create(name, in, {})) << name;
  }
}
#endif

}  // namespace
}  // namespace veltrim::testing
