// The command-line front end: name checks, file handling and messages.
#pragma once

#include <cstddef>

#include "io/stream.h"
#include "platform/file_names.h"
#include "platform/file_system.h"

namespace veltrim {

enum NameCheck {
  NAME_OK,
  NAME_TOO_SHORT,       // under 5 bytes: "a.css" is the shortest usable name
  NAME_TOO_LONG,        // over kNameMax: it would not fit the name buffers
  NAME_NO_CSS,          // ".css" nowhere in the name
  NAME_CSS_NOT_AT_END,  // ".css" in the name, but not as its end
};

// Checks an input name (".css" at its end, in any letter case) and, when it passes, writes
// the output name into out_name: the same name with its last four bytes replaced by ".olf".
NameCheck check_name(const char* arg, char (&out_name)[kNameSize]);

// How the conversion of an opened pair of files ended.
struct Outcome {
  bool read_failed = false;
  bool write_failed = false;  // a write, the last flush or the close of the output failed
};

// Converts `in` into `out` through the process's stream buffers and closes `out`; the input
// stays open for its owner to close. An input that starts with a byte order mark is written
// back with it, UTF-16 and UTF-32 in their own encoding (text/mark_streams.h). Tests shrink
// the buffers with `block`.
Outcome convert_files(Source& in, Sink& out, std::size_t block = kBlockSize);

// Room for the longest closing text: both failure messages, each with a name.
constexpr std::size_t kClosingSize = 2 * kNameSize + 128;

// The closing text of a run: the message of each failure, or else the success message.
void closing_text(const Outcome& outcome, const char* in_name, const char* out_name,
                  char (&text)[kClosingSize]);

// What a run works with: the system's files, names, console and environment, or a test's
// fakes.
struct World {
  FileSystem& files;
  // Short names and wildcards, where the program has them to handle (Windows); nullptr where
  // a name is the file's own and the shell expands patterns.
  NameSystem* names;
  void (*say)(const char* text);       // a message on standard output
  void (*complain)(const char* text);  // a message on standard error
  // The Windows shell started the process (a drop, Send To): every argument is a file.
  bool by_the_shell = false;
  // The environment asks for exit status 1 after a failure (failure_status_wanted).
  bool status_wanted = false;
  // Whether every message reached standard output and error, once all are said; nullptr
  // where they cannot be lost (a test's memory).
  bool (*delivered)() = nullptr;
};

// The message that refuses a name given alone, by its check_name result.
const char* name_refusal(NameCheck check);

// The names one conversion takes: on Windows the long name of a short (8.3) `in_name`, which
// then points into `long_name`, since a short output name could reach another file; and the
// output's name from it. Whether that name is a stylesheet's.
NameCheck conversion_names(const World& world, const char*& in_name, char (&long_name)[kNameSize],
                           char (&out_name)[kNameSize]);

// One run, from the banner to the last message; false when a message told of a failure.
// Converts the first argument, and with `every_argument` each of them in order (Explorer
// hands the files dropped or sent to the program as arguments); further ones are ignored
// otherwise, as scripts rely on.
bool run_once(int argc, char** argv, const World& world, bool every_argument = false);

// `veltrim -`: standard input to standard output, silent unless something fails; then the
// message that a file's failure gives, naming "-", goes to standard error. False then.
bool filter(const World& world);

// Whether the value of VELTRIM_STATUS (nullptr when unset) asks for exit status 1 after a
// failure: "1", with blanks around it (CR and LF too) counting for nothing.
bool failure_status_wanted(const char* value);

// A whole run in a world, to its exit status: `veltrim -` as the filter, which gives 1 after a
// failure; otherwise the named files (every argument when the shell started the process),
// which give 1 after a failure only when the world's status is wanted. A message that could
// not be delivered is a failure too.
int run_in(int argc, char** argv, const World& world);

// The whole program in the system's world: banner, checks, conversion, report, and the wait
// for Enter where Explorer made the console. Returns run_in's status.
int run_veltrim(int argc, char** argv);

}  // namespace veltrim
