// Injected I/O faults through the whole run after the files are open: conversion, final
// close and the closing messages. Whatever fails, the user is told so, never told of
// success, and the output holds a prefix of the right output.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "driver/driver.h"
#include "driver/messages.h"
#include "memory_io.h"
#include "said.h"

namespace veltrim::testing {
namespace {

const std::string kSheet =
    "/* head */\r\n@media screen {\r\n  a, b:hover {\r\n    color : red ;\r\n  }\r\n}\r\n"
    "p{margin:0 auto}/**/ q\t{ x:/ y }\r\n";

constexpr char kIn[] = "dir/site.css";
constexpr char kOut[] = "dir/site.olf";

struct Finished {
  Outcome outcome;
  std::string out;
  std::string text;
  int write_calls = 0;
};

Finished run(MemorySource in, MemorySink out, std::size_t block) {
  Finished r;
  r.outcome = convert_files(in, out, block);
  EXPECT_TRUE(out.closed) << "the output must be closed on every path";
  r.out = out.data;
  r.write_calls = out.write_calls;
  char text[kClosingSize];
  closing_text(r.outcome, kIn, kOut, text);
  r.text = text;
  return r;
}

bool is_prefix(const std::string& part, const std::string& whole) {
  return whole.compare(0, part.size(), part) == 0;
}

TEST(Faults, CleanRunReportsSuccess) {
  const Finished r = run(MemorySource(kSheet), MemorySink(), kBlockSize);
  EXPECT_FALSE(r.outcome.read_failed);
  EXPECT_FALSE(r.outcome.write_failed);
  EXPECT_EQ(r.out, convert(kSheet));
  EXPECT_EQ(r.text, "Soubor dir/site.css zpracovan do souboru dir/site.olf.\n");
}

// Every fault, at every byte offset and with several buffer sizes: the matching message
// only, and a prefix of the clean output.
TEST(Faults, EveryOffsetGivesTheRightMessageAndAPrefix) {
  const std::string full = convert(kSheet);
  const std::string read_msg = message(msg::kReadFailed, kIn);
  const std::string write_msg = message(msg::kWriteFailed, kOut);
  enum Fault { READ_FAILS, READ_FAILS_ONCE, WRITE_FAILS, SHORT_WRITE_THEN_FAILS };
  const struct {
    Fault fault;
    std::size_t limit;  // offsets tried: 0 .. limit - 1
    const char* name;
  } rows[] = {
      {READ_FAILS, kSheet.size(), "read fails after N input bytes"},
      // The reads after the failed one would deliver again: the failure stays reported.
      {READ_FAILS_ONCE, kSheet.size(), "one read fails after N input bytes"},
      {WRITE_FAILS, full.size(), "write fails after N output bytes"},
      {SHORT_WRITE_THEN_FAILS, full.size(), "writes come back short, then fail"},
  };
  for (const auto& row : rows) {
    for (std::size_t block : {std::size_t{1}, std::size_t{7}, kBlockSize}) {
      for (std::size_t n = 0; n < row.limit; ++n) {
        SCOPED_TRACE(::testing::Message() << row.name << ", N=" << n << ", block=" << block);
        MemorySource in(kSheet);
        MemorySink out;
        const bool read_fault = row.fault == READ_FAILS || row.fault == READ_FAILS_ONCE;
        if (row.fault == READ_FAILS) in.fail_read_at = n;
        if (row.fault == READ_FAILS_ONCE) in.fail_once_at = n;
        if (!read_fault) out.fail_write_at = n;
        if (row.fault == SHORT_WRITE_THEN_FAILS) out.max_write = 2;
        const Finished r = run(in, out, block);
        EXPECT_TRUE(is_prefix(r.out, full)) << r.out;
        if (read_fault) {
          EXPECT_TRUE(r.outcome.read_failed);
          EXPECT_FALSE(r.outcome.write_failed);
          EXPECT_EQ(r.text, read_msg);
        } else {
          EXPECT_FALSE(r.outcome.read_failed);
          EXPECT_TRUE(r.outcome.write_failed);
          EXPECT_EQ(r.text, write_msg);
          EXPECT_LE(r.out.size(), n);
        }
      }
    }
  }
}

// Short writes alone lose nothing: they are finished, and the run succeeds.
TEST(Faults, ShortWritesAloneSucceed) {
  for (std::size_t max_write : {1, 2, 5}) {
    MemorySink out;
    out.max_write = max_write;
    const Finished r = run(MemorySource(kSheet), out, 16);
    EXPECT_FALSE(r.outcome.write_failed) << max_write;
    EXPECT_EQ(r.out, convert(kSheet));
  }
}

// A raw file that breaks its contract is a failure of that file, reported as such: a write
// that moves nothing would be retried for ever, and a read that reports more bytes than were
// asked would send the scan past the buffer.
TEST(Faults, RawFilesThatBreakTheirContract) {
  MemorySink stalled;
  stalled.max_write = 0;
  const Finished w = run(MemorySource(kSheet), stalled, 16);
  EXPECT_EQ(w.text, message(msg::kWriteFailed, kOut));
  EXPECT_EQ(w.write_calls, 1) << "a write that moved nothing was tried again";

  // From the first read, which looks for a byte order mark, and from later ones, in bytes and
  // in UTF-16, whose reads each go their own way.
  const std::string utf16 = std::string("\xFF\xFE", 2) + std::string(300, '\0');
  for (const std::string& sheet : {kSheet, utf16}) {
    for (std::size_t at : {std::size_t{0}, std::size_t{4}, std::size_t{50}}) {
      for (std::size_t block : {std::size_t{1}, std::size_t{7}, kBlockSize}) {
        MemorySource in(sheet);
        in.over_read_at = at;
        const Finished r = run(in, MemorySink(), block);
        EXPECT_EQ(r.text, message(msg::kReadFailed, kIn)) << at << ", block " << block;
      }
    }
  }

  MemorySink over;
  over.over_write = true;
  EXPECT_EQ(run(MemorySource(kSheet), over, 16).text, message(msg::kWriteFailed, kOut));
}

// Regression: a failing close (a delayed write the system lost) was reported as success.
TEST(Faults, FailingCloseIsAWriteFailure) {
  MemorySink out;
  out.fail_close = true;
  const Finished r = run(MemorySource(kSheet), out, kBlockSize);
  EXPECT_TRUE(r.outcome.write_failed);
  EXPECT_EQ(r.out, convert(kSheet));
  EXPECT_EQ(r.text, message(msg::kWriteFailed, kOut));
}

// Both streams failing get both messages, read first, and still no success message.
TEST(Faults, ReadAndWriteFailuresAreBothReported) {
  MemorySource in(kSheet);
  in.fail_read_at = 30;
  MemorySink out;
  out.fail_close = true;
  const Finished r = run(in, out, 8);
  EXPECT_EQ(r.text, message(msg::kReadFailed, kIn) + message(msg::kWriteFailed, kOut));
}

// The longest names the checks let through fit the closing text whole.
TEST(Faults, LongestNamesFitTheClosingText) {
  const std::string in_name = std::string(kNameSize - 5, 'n') + ".css";
  const std::string out_name = std::string(kNameSize - 5, 'n') + ".olf";
  char text[kClosingSize];
  closing_text(Outcome{true, true}, in_name.c_str(), out_name.c_str(), text);
  EXPECT_EQ(std::string(text), message(msg::kReadFailed, in_name.c_str()) +
                                   message(msg::kWriteFailed, out_name.c_str()));
}

}  // namespace
}  // namespace veltrim::testing
