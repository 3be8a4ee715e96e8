#include "driver/driver.h"

#ifdef _WIN32
#include "text/codec.h"

// The wide command line holds the names exactly as typed; the narrow one would have turned
// every character outside the code page into a look-alike or a '?'. The first argument goes
// on as WTF-8 bytes (text/codec.h), and comes back to the same wide name when the file is opened.
int wmain(int argc, wchar_t** wargv) {
  // The longest command line Windows passes is 32767 units, each at most 3 bytes here.
  static char first[3 * 32768];
  char program[] = "veltrim";
  char* argv[] = {program, first, nullptr};
  if (argc < 2) return veltrim::run_veltrim(1, argv);
  if (!veltrim::wide_to_bytes(wargv[1], first, sizeof first)) first[0] = '\0';
  return veltrim::run_veltrim(2, argv);
}
#else
int main(int argc, char** argv) {
  return veltrim::run_veltrim(argc, argv);
}
#endif
