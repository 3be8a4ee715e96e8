#include "driver/driver.h"

#ifdef _WIN32
#include <cwchar>
#include <string>
#include <vector>

#include "text/codec.h"

// The wide command line holds the names exactly as typed; the narrow one would have turned
// every character outside the code page into a look-alike or a '?'. The arguments go on as
// WTF-8 bytes (text/codec.h), and come back to the same wide names when the files are opened.
int wmain(int argc, wchar_t** wargv) {
  std::vector<std::string> args(static_cast<std::size_t>(argc));
  std::vector<char*> argv(static_cast<std::size_t>(argc) + 1, nullptr);
  static char program[] = "veltrim";
  argv[0] = program;
  for (std::size_t i = 1; i < args.size(); ++i) {
    // Each unit takes at most 3 bytes; a name that spells no UTF-16 becomes "".
    args[i].assign(3 * std::wcslen(wargv[i]) + 1, '\0');
    if (!veltrim::wide_to_bytes(wargv[i], args[i].data(), args[i].size())) args[i][0] = '\0';
    argv[i] = args[i].data();
  }
  return veltrim::run_veltrim(argc, argv.data());
}
#else
int main(int argc, char** argv) {
  return veltrim::run_veltrim(argc, argv);
}
#endif
