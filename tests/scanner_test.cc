// The scanner, seen through skip_blanks the way the rule copier sees it.
#include <gtest/gtest.h>

#include <string>

#include "memory_io.h"

namespace veltrim::testing {
namespace {

// Every character skip_blanks delivers, each preceded by one space when blank_seen was set.
// skip_blanks never delivers a space itself, so the rendering is unambiguous.
std::string scan(const std::string& in, std::size_t block = kBlockSize) {
  ScanFixture f(in, block);
  std::string seen;
  while (skip_blanks(f.st)) {
    if (f.st.blank_seen) seen += ' ';
    seen += static_cast<char>(f.st.cur[0]);
  }
  EXPECT_EQ(f.st.io_count, 0u) << "the end of input shows as a zero count";
  EXPECT_EQ(skip_blanks(f.st), 0) << "once ended, the scanner stays ended";
  return seen;
}

struct ScanRow {
  const char* name;
  std::string in;
  std::string delivered;
};

const ScanRow kScanRows[] = {
    {"empty", "", ""},
    {"only_blanks", " \t\r\n ", ""},
    {"slash_at_end", "a/", "a/"},
    {"lone_slash", "/", "/"},
    {"two_slashes", "//", "//"},
    {"slash_then_letter_is_read_again", "/x", "/x"},
    {"slash_then_blank", "/ x", "/ x"},
    {"empty_comment", "/**/", ""},
    {"star_of_opening_does_not_close", "/*/ a */", ""},
    {"three_stars", "/***/", ""},
    {"unclosed_comment_ends_scan", "a/* no end {x:y}", "a"},
    {"unclosed_after_star", "a/*x*", "a"},
    {"blanks_become_one_flag", "a\tb\rc\nd  e", "a b c d e"},
    {"cr_lf_is_one_run", "a\r\nb", "a b"},
    {"vt_ff_are_not_blanks", "\x0b\x0c", "\x0b\x0c"},
    {"nul_and_high_bytes_pass", std::string("a\0\xff", 3), std::string("a\0\xff", 3)},
    {"comment_alone_is_no_blank", "a/*x*/b", "ab"},
    {"blank_before_comment", "a /*x*/b", "a b"},
    {"blank_after_comment", "a/*x*/ b", "a b"},
    {"quotes_do_not_protect_comments", "x:'/* no */'", "x:''"},
    // A comment straight after another is removed as well, not passed on as text.
    {"comments_back_to_back", "/* a *//* b */p", "p"},
    {"comment_then_plain_slash", "a/**//x", "a/x"},
    {"comment_then_slash_at_end", "a/**//", "a/"},
    {"comments_around_blank", "a/**/ /**/b", "a b"},
    {"leading_blank_run", "  a", " a"},
};

TEST(Scanner, DeliversCharacters) {
  for (const ScanRow& row : kScanRows) EXPECT_EQ(scan(row.in), row.delivered) << row.name;
}

// The look-ahead after '/' is given back inside the stream buffer, even when the '/' was
// the last byte of one block and the look-ahead the first of the next.
TEST(Scanner, LookAheadIsGivenBackAtEveryBlockEdge) {
  for (std::size_t block = 1; block <= 4; ++block) {
    ScanFixture f("a/b/c//d/", block);
    std::string seen;
    while (read_char(f.st)) seen += static_cast<char>(f.st.cur[0]);
    EXPECT_EQ(seen, "a/b/c//d/") << "block " << block;
  }
}

// A '/' at the very end is delivered as one byte read (io_count 1), though the look-ahead
// after it met the end; the read after it ends the scan.
TEST(Scanner, FinalSlashCountsAsRead) {
  ScanFixture f("/");
  ASSERT_EQ(read_char(f.st), 1);
  EXPECT_EQ(f.st.cur[0], '/');
  EXPECT_EQ(f.st.io_count, 1u);
  EXPECT_EQ(read_char(f.st), 0);
}

// A failed read ends the scan like the end of input, and the stream remembers the failure:
// it reads no more, even from a source whose next read would deliver again.
TEST(Scanner, ReadFailureEndsScanAndIsRemembered) {
  for (const bool once : {false, true}) {
    ScanFixture f("ab cd");
    (once ? f.in_raw.fail_once_at : f.in_raw.fail_read_at) = 2;
    std::string seen;
    while (skip_blanks(f.st)) seen += static_cast<char>(f.st.cur[0]);
    EXPECT_EQ(seen, "ab") << "once " << once;
    EXPECT_EQ(skip_blanks(f.st), 0) << "once " << once;
    EXPECT_TRUE(f.in->failed) << "once " << once;
    EXPECT_EQ(f.in_raw.pos, 2u) << "once " << once;
  }
}

// Regression: a failed look-ahead after '/' delivered the '/', which a sound read could
// have shown to open a comment; the output then was no prefix of the right one.
TEST(Scanner, ReadFailureAfterSlashKeepsTheSlashBack) {
  const struct {
    const char* in;
    std::size_t fail_at;
    const char* seen;
  } rows[] = {
      {"a/b", 2, "a"},
      {"a/*c*/b", 2, "a"},
      {"a/b", 3, "a/b"},     // the failure comes after the look-ahead: '/' is plain
      {"a/", kNever, "a/"},  // the end, not a failure: '/' is an ordinary last character
  };
  for (const auto& row : rows) {
    ScanFixture f(row.in, 1);
    f.in_raw.fail_read_at = row.fail_at;
    std::string seen;
    while (read_char(f.st)) seen += static_cast<char>(f.st.cur[0]);
    EXPECT_EQ(seen, row.seen) << row.in << " failing at " << row.fail_at;
    EXPECT_EQ(f.in->failed, row.fail_at != kNever) << row.in;
  }
}

}  // namespace
}  // namespace veltrim::testing
