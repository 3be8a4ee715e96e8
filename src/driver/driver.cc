#include "driver/driver.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "driver/messages.h"
#include "fast/bulk.h"
#include "platform/console.h"
#include "platform/os_file.h"
#include "text/mark_streams.h"

namespace veltrim {

namespace {

// The streams hold a buffer of kBlockSize each, and the byte order mark's streams a few
// blocks of their own: static, so that neither the stack nor the heap has to carry them.
InFile g_in;
OutFile g_out;
MarkStreams g_marks;

// True when ".css", in any ASCII letter case, stands anywhere in the name.
bool holds_css(const char* name, std::size_t len) {
  for (std::size_t end = 4; end <= len; ++end) {
    if (ends_in_css(name, end)) return true;
  }
  return false;
}

}  // namespace

NameCheck check_name(const char* arg, char (&out_name)[kNameSize]) {
  const std::size_t len = std::strlen(arg);
  if (len < 5) return NAME_TOO_SHORT;
  if (len >= kNameSize || name_length(arg, len) > kNameMax) return NAME_TOO_LONG;
  if (!ends_in_css(arg, len)) return holds_css(arg, len) ? NAME_CSS_NOT_AT_END : NAME_NO_CSS;
  // The last four bytes become ".olf", lower case whatever the case of ".css" was.
  std::memcpy(out_name, arg, len - 4);
  std::memcpy(out_name + len - 4, ".olf", 5);
  return NAME_OK;
}

Outcome convert_files(Source& in, Sink& out, std::size_t block) {
  g_marks.attach(in, out);
  in_attach(g_in, &g_marks.input(), block);
  out_attach(g_out, &g_marks.output(), block);
  copy_in_bulk(g_in, g_out);

  Outcome outcome;
  // The close flushes the last block: it can fail like any write.
  outcome.write_failed = !out_close(g_out);
  outcome.read_failed = g_in.failed;
  return outcome;
}

void closing_text(const Outcome& outcome, const char* in_name, const char* out_name,
                  char (&text)[kClosingSize]) {
  if (!outcome.read_failed && !outcome.write_failed) {
    std::snprintf(text, sizeof text, msg::kDone, in_name, out_name);
    return;
  }
  // Names are at most kNameSize - 1 bytes, so both messages fit; snprintf cuts off otherwise.
  std::size_t used = 0;
  text[0] = '\0';
  if (outcome.read_failed) {
    const int n = std::snprintf(text, sizeof text, msg::kReadFailed, in_name);
    if (n > 0) used = std::min(static_cast<std::size_t>(n), sizeof text - 1);
  }
  if (outcome.write_failed) {
    std::snprintf(text + used, sizeof text - used, msg::kWriteFailed, out_name);
  }
}

namespace {

// The ways a user asks for help. None ends in ".css", so none could be an input name.
bool asks_for_help(const char* arg) {
  return std::strcmp(arg, "/?") == 0 || std::strcmp(arg, "-h") == 0 ||
         std::strcmp(arg, "--help") == 0;
}

// Prints a message with one name in it, on standard output or standard error.
void print_named(const char* format, const char* name, bool error = false) {
  char text[kClosingSize];
  std::snprintf(text, sizeof text, format, name);
  if (error) {
    print_error(text);
  } else {
    print_text(text);
  }
}

// Converts one named file and prints its result line; false when that line tells of a
// failure. A short (8.3) name on Windows stands for its long one, from which the output is
// named: a short output name could reach another file. `written` holds the outputs of the
// run so far, which this one may not be, and takes this one's.
bool convert_named(NameSystem* names, const char* in_name, std::vector<FileId>& written) {
  char long_name[kNameSize];
  if (names != nullptr && long_file_name(*names, in_name, long_name, sizeof long_name)) {
    in_name = long_name;
  }
  char out_name[kNameSize];
  // The message for each refused name, in the order of NameCheck.
  static constexpr const char* kNameMessages[] = {nullptr, msg::kNameTooShort, msg::kNameTooLong,
                                                  msg::kNameNoCss, msg::kNameCssNotAtEnd};
  const NameCheck check = check_name(in_name, out_name);
  if (check != NAME_OK) {
    print_text(kNameMessages[check]);
    return false;
  }

  FileSource in;
  if (!in.open(in_name)) {
    print_named(msg::kCannotRead, in_name);
    return false;
  }
  FileSink out;
  if (!out.create(out_name, in, written)) {
    print_named(msg::kCannotWrite, out_name);
    return false;
  }
  written.push_back(out.id());

  const Outcome outcome = convert_files(in, out);
  char text[kClosingSize];
  closing_text(outcome, in_name, out_name, text);
  print_text(text);
  return !outcome.read_failed && !outcome.write_failed;
}

// `veltrim -`: standard input to standard output, in binary, by the byte order mark's rules
// too. Silent unless something fails; then the message that a file's failure gives, naming
// "-", goes to standard error, where it does not mix with the line form. False then.
bool filter() {
  constexpr char kStandard[] = "-";
  FileSource in;
  if (!in.open_standard_input()) {
    print_named(msg::kCannotRead, kStandard, true);
    return false;
  }
  // `veltrim - <a.css >>a.css` would read its own output for as long as it writes it.
  FileSink out;
  FileId in_id;
  FileId out_id;
  if (!out.open_standard_output() || (out.is_disk_file() && in.identity(in_id) &&
                                      out.identity(out_id) && in_id == out_id)) {
    print_named(msg::kCannotWrite, kStandard, true);
    return false;
  }
  const Outcome outcome = convert_files(in, out);
  if (!outcome.read_failed && !outcome.write_failed) return true;
  char text[kClosingSize];
  closing_text(outcome, kStandard, kStandard, text);
  print_error(text);
  return false;
}

// One run, from the banner to the last message; false when a message told of a failure.
bool run_once(int argc, char** argv) {
  print_text(msg::kBanner);
  if (argc < 2 || asks_for_help(argv[1])) {
    for (const char* line : msg::kHelp) print_text(line);
    return true;
  }
  if (std::strcmp(argv[1], "--version") == 0) return true;  // the banner holds the version

  // Further arguments are ignored. A wildcard on Windows converts each stylesheet it matches,
  // each with its own result line. The outputs written so far: where letter case makes
  // names differ, A.css and a.css would both write into one file, and the second would
  // replace the first's output.
  const std::unique_ptr<NameSystem> names = system_names();
  std::vector<FileId> written;
  std::vector<std::string> matches;
  if (names == nullptr || !match_stylesheets(*names, argv[1], matches)) {
    return convert_named(names.get(), argv[1], written);
  }
  if (matches.empty()) {
    print_named(msg::kCannotRead, argv[1]);
    return false;
  }
  bool ok = true;
  for (const std::string& name : matches) ok = convert_named(names.get(), name.c_str(), written) && ok;
  return ok;
}

// Scripts that set VELTRIM_STATUS=1 get exit status 1 after a failure; others rely on 0.
// Blanks around the 1 count for nothing: cmd's `set VELTRIM_STATUS=1 && veltrim x.css` stores
// "1 ", and a batch file's line may end in a blank.
bool failure_status_wanted() {
  const char* v = std::getenv("VELTRIM_STATUS");
  if (v == nullptr) return false;
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (blank(*v)) ++v;
  if (*v++ != '1') return false;
  while (blank(*v)) ++v;
  return *v == '\0';
}

}  // namespace

int run_veltrim(int argc, char** argv) {
  start_process();
  if (argc >= 2 && std::strcmp(argv[1], "-") == 0) return filter() ? 0 : 1;
  const bool ok = run_once(argc, argv);
  if (should_wait_for_enter()) {
    print_text(msg::kPressEnter);
    wait_for_enter();
  }
  return !ok && failure_status_wanted() ? 1 : 0;
}

}  // namespace veltrim
