// `veltrim --watch NAME...`: converts each named stylesheet once, then again after each save,
// until the user ends it. The loop is handed its notifier and clock as a run is handed its
// world, so that tests drive it with fakes.
#pragma once

#include "driver/driver.h"
#include "platform/notifier.h"

namespace veltrim {

// How long a file must stay quiet after a change before it is converted: an editor's save
// of several writes, or a delete and a new file, converts once, from the finished file. Short
// enough that the new output is in place within a tenth of a second of the save.
constexpr long kQuietMs = 50;

// True for the option that asks for the watch mode: "--watch" or "-w".
bool is_watch_option(const char* arg);

// The watch mode, argv[1] being its option: every further name counts, each a stylesheet, a
// wildcard in its last component, or a folder (every stylesheet directly in it), files made
// later included. Each conversion is written whole beside its output and put in its place
// (FileSystem::open_replacing). Ends when the notifier reports that the user asked for it,
// when its notifications fail, or when no folder is left to watch. False when the last
// conversion of any file failed, or a name could not be watched.
bool watch(int argc, char** argv, const World& world, Notifier& notifier, Clock& clock);

}  // namespace veltrim
