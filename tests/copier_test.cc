// The rule copier end to end over memory: input bytes in, line form out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "memory_io.h"

namespace veltrim::testing {
namespace {

struct Row {
  std::string in;
  std::string out;
};

// One row per case: what a user feeds in, byte for byte what lands in the .olf file.
const std::vector<Row>& rows() {
  static const std::vector<Row> kRows = {
      {"a{color:red;}", "a{color:red;}\r\n"},
      {"a{color:red}", "a{color:red}\r\n"},
      {"h1 , h2 {\n  color : red ;\n  margin:0 auto\n}\n", "h1,h2{color :red ;margin:0 auto }\r\n"},
      {"a{ }", "a{}\r\n"},
      {"a{x:y; }", "a{x:y;}\r\n"},
      {"a{x:y }", "a{x:y }\r\n"},
      {"a {} b {}", "a{}\r\nb{}\r\n"},
      {"a:hover > b + c{x: 1px  solid}", "a:hover > b + c{x:1px solid}\r\n"},
      {"p,{x:y}", "p,{x:y}\r\n"},
      {"a , b,c {}", "a,b,c{}\r\n"},
      {"a{b:c;;d:e}", "a{b:c;;d:e}\r\n"},
      {"a{;x:y}", "a{;x:y}\r\n"},
      {"a{x: ;}", "a{x:;}\r\n"},
      {"a{x: }", "a{x:}\r\n"},
      {"a{x :y}", "a{x :y}\r\n"},
      {"a{x:y :z}", "a{x:y :z}\r\n"},
      {"a{x; y:z}", "a{x; y:z}\r\n"},  // a ';' before the first ':' belongs to the property
      {"a{x; }", "a{x; }"},            // the property never reaches a ':': no line end
      {"a{x:y{ z}", "a{x:y{ z}\r\n"},
      {"a{color}b{x:y}", "a{color}b{x:y}\r\n"},  // the property runs on to the first ':'
      {"a{x:y;z}", "a{x:y;z}"},
      {"a{x:y}}", "a{x:y}\r\n}"},
      {"@import url(x.css);\na{b:c}", "@import url(x.css); a{b:c}\r\n"},
      {"@media screen { a { color: red } }", "@media screen{a { color:red }\r\n}"},
      {"a{x/*c*/:y}", "a{x:y}\r\n"},
      {"a{x:/*c*/y}", "a{x:y}\r\n"},
      {"a{x:y/*c*/}", "a{x:y}\r\n"},
      {"x/**/y{}", "xy{}\r\n"},
      {"a\t{\tx\t:\ty\t}", "a{x :y }\r\n"},
      {"a{x:y}\r\n\r\nb{z:w}\r\n", "a{x:y}\r\nb{z:w}\r\n"},
      {"a b", "a b"},
      {"a{color:red", "a{color:red"},
      {"a{x:y}/", "a{x:y}\r\n/"},
      {"a{x:'/* no */'}", "a{x:''}\r\n"},
      {"a{x:y}\x0c b{}", "a{x:y}\r\n\x0c b{}\r\n"},  // FF is a character, not a blank
      {"", ""},
      {" \t\r\n", ""},
      {"/* only */ \n/* comments */", ""},
      {"a{x:y} /* unclosed", "a{x:y}\r\n"},
      // Comments back to back are all removed; a plain '/' after one stays.
      {"/* a *//* b */p{}", "p{}\r\n"},
      {"a/**//x{}", "a/x{}\r\n"},
  };
  return kRows;
}

TEST(Copier, TableRows) {
  for (const Row& row : rows()) EXPECT_EQ(convert(row.in), row.out) << "input: " << row.in;
}

// A realistic sheet, for the boundary sweep below: every kind of place a blank run or a
// comment can stand in, with LF and CR LF line ends.
const char kSheet[] =
    "/* site */\r\n"
    "html , body{margin:0;padding : 0 }\r\n"
    "a:hover,\n\ta:focus /* both */ {\n  color : #c00 ;\n  border:1px  solid}\n"
    "p{font:12px/1.5 serif;/**/}/x{}\n";

// The stream buffers must not show through: cutting the input at any position, by a short
// read or by a tiny block, gives the very same bytes.
TEST(Copier, SameOutputAcrossEveryBufferBoundary) {
  std::vector<std::string> inputs = {kSheet};
  for (const Row& row : rows()) inputs.push_back(row.in);
  for (const std::string& in : inputs) {
    const std::string want = convert(in);
    for (std::size_t block : {1, 2, 3, 5, 16}) {
      for (std::size_t split = 0; split <= in.size(); ++split) {
        MemorySource src(in);
        src.split_at = split;
        Converted got = run_convert(src, block, block);
        ASSERT_EQ(got.out, want) << "input: " << in << "\nblock " << block << " split " << split;
        ASSERT_TRUE(got.write_ok);
        ASSERT_EQ(got.read_pos, in.size());
      }
    }
  }
}

struct StepCase {
  const char* in;
  std::vector<CopyResult> results;
  const char* out;
};

// The copy steps report what they stopped at; the driver loop depends on these values.
TEST(Copier, SelectorAndDeclarationResults) {
  const StepCase selectors[] = {
      {"h1 , h2 {", {COPY_MORE, COPY_DONE, COPY_EOF}, "h1,h2{"},
      {"a b", {COPY_EOF}, "a b"},
      {" ,", {COPY_MORE, COPY_EOF}, ","},
  };
  for (const StepCase& c : selectors) {
    ScanFixture f(c.in);
    for (CopyResult want : c.results) EXPECT_EQ(copy_selector(f.st), want) << c.in;
    EXPECT_EQ(f.output(), c.out);
  }
  const StepCase declarations[] = {
      {"x : y ; z:w}", {COPY_MORE, COPY_DONE, COPY_EOF}, "x :y ;z:w}\r\n"},
      {" }", {COPY_DONE}, "}\r\n"},
      {"x:y", {COPY_EOF}, "x:y"},
  };
  for (const StepCase& c : declarations) {
    ScanFixture f(c.in);
    for (CopyResult want : c.results) EXPECT_EQ(copy_declaration(f.st), want) << c.in;
    EXPECT_EQ(f.output(), c.out);
  }
}

// A failed read stops the conversion with what was written so far, and is not an end.
TEST(Copier, ReadFailureKeepsPrefixAndIsReported) {
  MemorySource in(kSheet);
  in.fail_read_at = 40;
  Converted got = run_convert(in, 8, 8);
  EXPECT_TRUE(got.read_failed);
  EXPECT_TRUE(got.write_ok);
  const std::string full = convert(kSheet);
  EXPECT_EQ(full.compare(0, got.out.size(), got.out), 0) << got.out;
  EXPECT_LT(got.out.size(), full.size());
}

// The conversion stops at the first failed write instead of reading on to a rule end.
TEST(Copier, StopsAtFirstFailedWrite) {
  std::string big = "a{x:y}";
  big += std::string(10000, 'b');
  big += "{z:w}";
  MemorySink out;
  out.fail_write_at = 2;
  Converted got = run_convert(MemorySource(big), 16, 2, out);
  EXPECT_FALSE(got.write_ok);
  EXPECT_FALSE(got.read_failed);
  EXPECT_EQ(got.out, "a{");
  EXPECT_LT(got.read_pos, big.size()) << "reading went on after the output had failed";
}

// Short writes are finished, not lost; a failing close is a lost write.
TEST(Copier, ShortWritesCompleteAndFailingCloseIsReported) {
  MemorySink out;
  out.max_write = 1;
  Converted got = run_convert(MemorySource(kSheet), kBlockSize, 7, out);
  EXPECT_TRUE(got.write_ok);
  EXPECT_EQ(got.out, convert(kSheet));

  MemorySink failing;
  failing.fail_close = true;
  EXPECT_FALSE(run_convert(MemorySource("a{}"), kBlockSize, kBlockSize, failing).write_ok);
}

}  // namespace
}  // namespace veltrim::testing
