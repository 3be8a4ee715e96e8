// What the driver needs of the system beyond files: the start of the process and its console.
// One implementation per system: posix_console.cc, win32_console.cc.
#pragma once

namespace veltrim {

// Sets the process up before the first file opens: on POSIX a file-size limit (ulimit -f)
// then fails the write that passes it, which is reported, instead of killing the process.
void start_process();

// Writes a message to standard output. On Windows the names in it are WTF-8 (text/codec.h)
// and leave in the console's code page, where a character it lacks shows as one '?'.
void print_text(const char* text);
// The same on standard error.
void print_error(const char* text);

// True when the Windows shell started the process: a double-click, a file dropped on the
// program, Send To. Never elsewhere.
bool started_by_the_shell();

// True when the last message must wait for Enter: the process is alone on a console made for
// it and the Windows shell started it, as by a double-click or by dropping a file on it, and
// that console closes with the process, taking the message with it. Never from a shell, a
// script, `start`, a scheduled task or a pipe, which must not wait. Asked once, at the start:
// the processes on the console then are the ones that made it.
bool should_wait_for_enter();

// Waits until Enter is pressed on the console.
void wait_for_enter();

}  // namespace veltrim
