// File descriptors as both the run's files (posix_file.cc) and the watch mode's outputs
// (posix_replacing.cc) open and tell them. POSIX only.
#pragma once

#include "platform/file_system.h"

namespace veltrim {

// ::open with mode 0666 (less the umask), tried again when a signal interrupts it; the
// descriptor, or -1 with errno set.
int open_retrying(const char* name, int flags);

// What fstat tells of an open descriptor: whether it is a regular file, and its identity;
// nothing known for -1 or a failed fstat.
FileFacts facts_of(int fd);

}  // namespace veltrim
