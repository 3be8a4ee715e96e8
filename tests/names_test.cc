// Input name checks and the output name derived from an accepted one.
#include <gtest/gtest.h>

#include <string>

#include "driver/driver.h"

namespace veltrim {
namespace {

struct NameRow {
  std::string arg;
  NameCheck want;
  std::string out_name;  // only for NAME_OK
};

TEST(Names, CheckAndOutputName) {
  const std::string longest = std::string(kNameMax - 4, 'n') + ".css";
  // Windows counts a name in UTF-16 code units, which Windows names are made of; elsewhere a
  // name is bytes. A 511-character name of CJK characters takes 1,525 bytes here.
#ifdef _WIN32
  const NameCheck in_units = NAME_OK;
#else
  const NameCheck in_units = NAME_TOO_LONG;
#endif
  std::string cjk;
  for (std::size_t i = 0; i < kNameMax - 4; ++i) cjk += "\xE4\xB8\xAD";  // U+4E2D
  std::string pairs;  // U+1F600 is two units
  for (std::size_t i = 0; i < (kNameMax - 5) / 2; ++i) pairs += "\xF0\x9F\x98\x80";
  const NameRow rows[] = {
      {"", NAME_TOO_SHORT, ""},
      {".css", NAME_TOO_SHORT, ""},  // too short comes before any extension message
      {"a.cs", NAME_TOO_SHORT, ""},
      {"a.css", NAME_OK, "a.olf"},
      {"style.CSS", NAME_OK, "style.olf"},
      {"dir\\STYLE.Css", NAME_OK, "dir\\STYLE.olf"},
      {"dir/sub/x.css", NAME_OK, "dir/sub/x.olf"},
      {"a.css.css", NAME_OK, "a.css.olf"},
      {"\xC9T\xC9.CSS", NAME_OK, "\xC9T\xC9.olf"},  // non-ASCII bytes are left alone
      {"a.css.bak", NAME_CSS_NOT_AT_END, ""},
      {"A.CSS.BAK", NAME_CSS_NOT_AT_END, ""},
      {"a.txt", NAME_NO_CSS, ""},
      {"abcde", NAME_NO_CSS, ""},
      {"a.c ss", NAME_NO_CSS, ""},
      {longest, NAME_OK, longest.substr(0, longest.size() - 4) + ".olf"},
      {"n" + longest, NAME_TOO_LONG, ""},
      {std::string(4000, 'x'), NAME_TOO_LONG, ""},
      {cjk + ".css", in_units, cjk + ".olf"},
      {cjk + "n.css", NAME_TOO_LONG, ""},
      {pairs + "n.css", in_units, pairs + "n.olf"},
      {pairs + "nn.css", NAME_TOO_LONG, ""},
  };
  for (const NameRow& row : rows) {
    char out_name[kNameSize] = "untouched";
    EXPECT_EQ(check_name(row.arg.c_str(), out_name), row.want) << row.arg;
    if (row.want == NAME_OK) {
      EXPECT_EQ(std::string(out_name), row.out_name);
    }
  }
}

}  // namespace
}  // namespace veltrim
