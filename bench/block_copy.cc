// The floor that veltrim_compare measures against: a plain copy of a file in 64 KiB blocks,
// read then write, as dd bs=64K does. Linked like the tool itself, so that both start up
// alike and the comparison is of the work alone.
#include <fcntl.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const int in = open(argv[1], O_RDONLY);
  const int out = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (in < 0 || out < 0) return 1;
  static char buf[64 * 1024];
  ssize_t n = 0;
  while ((n = read(in, buf, sizeof buf)) > 0) {
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = write(out, buf + done, static_cast<size_t>(n - done));
      if (w <= 0) return 1;
      done += w;
    }
  }
  return (n < 0 || close(out) != 0) ? 1 : 0;
}
