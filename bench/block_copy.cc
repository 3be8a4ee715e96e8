// The floor that the comparisons measure against: a plain copy of a file in 64 KiB blocks,
// read then write, as dd bs=64K does. Linked like the tool itself, so that both start up
// alike and the comparison is of the work alone; on Windows through ReadFile and WriteFile,
// as the tool's own file calls.
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  static char buf[64 * 1024];
#ifdef _WIN32
  HANDLE in = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
  HANDLE out = CreateFileA(argv[2], GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (in == INVALID_HANDLE_VALUE || out == INVALID_HANDLE_VALUE) return 1;
  DWORD n = 0;
  while (ReadFile(in, buf, sizeof buf, &n, nullptr) && n > 0) {
    for (DWORD done = 0; done < n;) {
      DWORD w = 0;
      if (!WriteFile(out, buf + done, n - done, &w, nullptr) || w == 0) return 1;
      done += w;
    }
  }
  return CloseHandle(out) ? 0 : 1;
#else
  const int in = open(argv[1], O_RDONLY);
  const int out = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (in < 0 || out < 0) return 1;
  ssize_t n = 0;
  while ((n = read(in, buf, sizeof buf)) > 0) {
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = write(out, buf + done, static_cast<size_t>(n - done));
      if (w <= 0) return 1;
      done += w;
    }
  }
  return (n < 0 || close(out) != 0) ? 1 : 0;
#endif
}
