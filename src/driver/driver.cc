#include "driver/driver.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "driver/messages.h"
#include "driver/watch.h"
#include "fast/bulk.h"
#include "platform/console.h"
#include "text/mark_streams.h"

namespace veltrim {

namespace {

// The streams hold a buffer of kBlockSize each, and the byte order mark's streams a few
// blocks of their own: static, so that neither the stack nor the heap has to carry them.
InStream g_in;
OutStream g_out;
MarkStreams g_marks;

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
  for (const char* ask : {"/?", "-?", "-h", "--help"}) {
    if (std::strcmp(arg, ask) == 0) return true;
  }
  return false;
}

// A message with one name in it, on standard output or, with `error`, on standard error.
void say_named(const World& world, const char* format, const char* name, bool error = false) {
  char text[kClosingSize];
  std::snprintf(text, sizeof text, format, name);
  (error ? world.complain : world.say)(text);
}

// The output, opened and truncated, when it may be replaced: its name reaches no other file
// than its own, and it is neither the input nor an output this run has written (`written`),
// as far as can be known; `facts` takes what the system tells of it. Nothing is truncated
// otherwise.
std::unique_ptr<OutputFile> replaceable_output(const World& world, const char* out_name,
                                               const InputFile& in,
                                               const std::vector<FileFacts>& written,
                                               FileFacts& facts) {
  // A short (8.3) name reaches its long-named file: "LONGST~1.OLF" may be someone's
  // "long style theme.olf".
  if (world.names != nullptr && !names_its_own_file(*world.names, out_name)) return nullptr;
  std::unique_ptr<OutputFile> out = world.files.open_output(out_name);
  if (out == nullptr) return nullptr;
  facts = out->facts();
  bool replaceable = sameness(facts, in.facts()) == OTHER_FILE;
  for (const FileFacts& before : written) {
    replaceable = replaceable && sameness(facts, before) == OTHER_FILE;
  }
  if (replaceable && out->truncate()) return out;
  // A refused output that the open made goes again: the refusal leaves nothing behind.
  out->discard();
  return nullptr;
}

// The end of a name too long to show whole: its last bytes, from the start of a character,
// so that no UTF-8 (or WTF-8) character is cut in two.
const char* shown_end(const char* name) {
  constexpr std::size_t kShown = 60;
  const std::size_t len = std::strlen(name);
  if (len <= kShown) return name;
  const char* at = name + len - kShown;
  while ((static_cast<unsigned char>(*at) & 0xC0) == 0x80) ++at;
  return at;
}

// Says why a name was refused: the one-file run's message as it has always been, or with
// `name_it`, one that names the file among several.
void refuse_name(const World& world, NameCheck check, const char* name, bool name_it) {
  // The messages in the order of NameCheck.
  static constexpr const char* kNamed[] = {nullptr, msg::kNamedTooShort, msg::kNamedTooLong,
                                           msg::kNamedNoCss, msg::kNamedCssNotAtEnd};
  if (!name_it) {
    world.say(name_refusal(check));
    return;
  }
  // Only a name over the limit can be too long for the message: it is shown by its end.
  say_named(world, kNamed[check], check == NAME_TOO_LONG ? shown_end(name) : name);
}

// Converts one named file and prints its result line; false when that line tells of a
// failure. A short (8.3) name on Windows stands for its long one, from which the output is
// named: a short output name could reach another file. `written` holds the outputs of the
// run so far, which this one may not be, and takes this one's. With `name_refusals` a
// refused name is named in its message.
bool convert_named(const World& world, const char* in_name, std::vector<FileFacts>& written,
                   bool name_refusals) {
  char long_name[kNameSize];
  char out_name[kNameSize];
  const NameCheck check = conversion_names(world, in_name, long_name, out_name);
  if (check != NAME_OK) {
    refuse_name(world, check, in_name, name_refusals);
    return false;
  }
  const std::unique_ptr<InputFile> in = world.files.open_input(in_name);
  if (in == nullptr) {
    say_named(world, msg::kCannotRead, in_name);
    return false;
  }
  FileFacts out_facts;
  const std::unique_ptr<OutputFile> out =
      replaceable_output(world, out_name, *in, written, out_facts);
  if (out == nullptr) {
    say_named(world, msg::kCannotWrite, out_name);
    return false;
  }
  written.push_back(out_facts);

  const Outcome outcome = convert_files(*in, *out);
  char text[kClosingSize];
  closing_text(outcome, in_name, out_name, text);
  world.say(text);
  return !outcome.read_failed && !outcome.write_failed;
}

// One argument: a name, or on Windows a wildcard, which converts each stylesheet it matches,
// each with its own result line.
bool convert_argument(const World& world, const char* arg, std::vector<FileFacts>& written,
                      bool name_refusals) {
  std::vector<std::string> matches;
  if (world.names == nullptr || !match_stylesheets(*world.names, arg, matches)) {
    return convert_named(world, arg, written, name_refusals);
  }
  if (matches.empty()) {
    say_named(world, msg::kCannotRead, arg);
    return false;
  }
  bool ok = true;
  for (const std::string& name : matches) {
    ok = convert_named(world, name.c_str(), written, name_refusals) && ok;
  }
  return ok;
}

// True when every message reached standard output and error. A full disk or a closed pipe
// there loses the result line that scripts match on: that is a failure too, as cat counts
// a failing close of its output.
bool messages_delivered() {
  const bool out = std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
  const bool err = std::fflush(stderr) == 0 && std::ferror(stderr) == 0;
  return out && err;
}

// A message on standard output at once: a watch prints its lines while it lasts, also into
// a pipe or a file, where standard output would keep them in its buffer.
void say_now(const char* text) {
  print_text(text);
  std::fflush(stdout);
}

// `veltrim --watch NAME...` from the command line, on the system's notifications and clock.
bool watch_from_command_line(int argc, char** argv, FileSystem& files, NameSystem* names) {
  const World world{files, names, say_now, print_error};
  const std::unique_ptr<Notifier> notifier = system_notifier();
  const std::unique_ptr<Clock> clock = system_clock();
  if (notifier == nullptr) {
    say_now(msg::kBanner);
    say_now(msg::kWatchBroken);
    return false;
  }
  return watch(argc, argv, world, *notifier, *clock);
}

}  // namespace

const char* name_refusal(NameCheck check) {
  // The messages in the order of NameCheck.
  static constexpr const char* kAlone[] = {nullptr, msg::kNameTooShort, msg::kNameTooLong,
                                           msg::kNameNoCss, msg::kNameCssNotAtEnd};
  return kAlone[check];
}

NameCheck conversion_names(const World& world, const char*& in_name, char (&long_name)[kNameSize],
                           char (&out_name)[kNameSize]) {
  if (world.names != nullptr && long_file_name(*world.names, in_name, long_name, kNameSize)) {
    in_name = long_name;
  }
  return check_name(in_name, out_name);
}

bool run_once(int argc, char** argv, const World& world, bool every_argument) {
  world.say(msg::kBanner);
  if (argc < 2 || asks_for_help(argv[1])) {
    for (const char* line : msg::kHelp) world.say(line);
    return true;
  }
  if (std::strcmp(argv[1], "--version") == 0) return true;  // the banner holds the version

  // The outputs written so far: where letter case makes names differ, A.css and a.css would
  // both write into one file, and the second would replace the first's output.
  std::vector<FileFacts> written;
  const int last = every_argument ? argc - 1 : 1;
  // Among several files a refusal must say which; a run of one file says what it always has.
  const bool several = last > 1;
  bool ok = true;
  for (int i = 1; i <= last; ++i) ok = convert_argument(world, argv[i], written, several) && ok;
  return ok;
}

// Scripts that set VELTRIM_STATUS=1 get exit status 1 after a failure; others rely on 0.
// Blanks around the 1 count for nothing: cmd's `set VELTRIM_STATUS=1 && veltrim x.css` stores
// "1 ", a batch file's line may end in a blank, and a CR LF .env file leaves "1\r".
bool failure_status_wanted(const char* v) {
  if (v == nullptr) return false;
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (blank(*v)) ++v;
  if (*v++ != '1') return false;
  while (blank(*v)) ++v;
  return *v == '\0';
}

bool filter(const World& world) {
  constexpr char kStandard[] = "-";
  const std::unique_ptr<InputFile> in = world.files.standard_input();
  if (in == nullptr) {
    say_named(world, msg::kCannotRead, kStandard, true);
    return false;
  }
  // `veltrim - <a.css >>a.css` would read its own output for as long as it writes it. The
  // rule is the files' own: a pipe or a device is never the input, and a disk file that
  // cannot be told apart from it is taken for it.
  const std::unique_ptr<OutputFile> out = world.files.standard_output();
  if (out == nullptr || sameness(out->facts(), in->facts()) != OTHER_FILE) {
    say_named(world, msg::kCannotWrite, kStandard, true);
    return false;
  }
  const Outcome outcome = convert_files(*in, *out);
  if (!outcome.read_failed && !outcome.write_failed) return true;
  char text[kClosingSize];
  closing_text(outcome, kStandard, kStandard, text);
  world.complain(text);
  return false;
}

namespace {

// `veltrim -`: the filter, which prints nothing on success and never waits for Enter.
bool asks_for_filter(int argc, char** argv) { return argc >= 2 && std::strcmp(argv[1], "-") == 0; }

}  // namespace

int run_in(int argc, char** argv, const World& world) {
  const bool filtering = asks_for_filter(argc, argv);
  // Explorer passes every file dropped on the program or sent to it; a script that passes
  // several names has always had the first converted alone.
  bool ok = filtering ? filter(world) : run_once(argc, argv, world, world.by_the_shell);
  ok = (world.delivered == nullptr || world.delivered()) && ok;
  return !ok && (filtering || world.status_wanted) ? 1 : 0;
}

int run_veltrim(int argc, char** argv) {
  start_process();
  const std::unique_ptr<FileSystem> files = system_files();
  const std::unique_ptr<NameSystem> names = system_names();
  World world{*files, names.get(), print_text, print_error};
  world.by_the_shell = started_by_the_shell();
  world.status_wanted = failure_status_wanted(std::getenv("VELTRIM_STATUS"));
  world.delivered = messages_delivered;
  // The watch lasts until the user ends it, printing as it goes; it never waits for Enter.
  if (argc >= 2 && is_watch_option(argv[1])) {
    const bool ok = watch_from_command_line(argc, argv, *files, names.get());
    return !(messages_delivered() && ok) && world.status_wanted ? 1 : 0;
  }
  // Decided once, before the first file opens: a program that attaches to the console later
  // (a screen reader, a test reading the screen) counts as a process on it, and must not take
  // away the wait that the console's own user needs. The filter never waits.
  const bool wait = !asks_for_filter(argc, argv) && should_wait_for_enter();
  const int status = run_in(argc, argv, world);
  // The messages are out (run_in flushed them): the console that Explorer made for the
  // process shows them until Enter.
  if (wait) {
    print_text(msg::kPressEnter);
    wait_for_enter();
  }
  return status;
}

}  // namespace veltrim
