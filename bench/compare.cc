// Times the built tool against a plain 64 KiB block copy of the same file, as whole processes
// run alternately, and measures peak memory on a large and a tiny input.
//
//   veltrim_compare PATH/TO/veltrim [MEGABYTES=23] [RUNS=21]
//
// Prints medians, throughput, the time ratio tool/copy and the peak resident memory.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "stylesheet_gen.h"

namespace {

namespace fs = std::filesystem;

struct Sample {
  double seconds;
  long max_rss_kib;
};

// Runs argv as a child with standard output discarded; wall time and peak memory.
Sample run(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  auto t0 = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    execv(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  struct rusage ru {};
  wait4(pid, &status, 0, &ru);
  auto t1 = std::chrono::steady_clock::now();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s failed\n", argv[0].c_str());
    std::exit(1);
  }
  return {std::chrono::duration<double>(t1 - t0).count(), ru.ru_maxrss};
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void write_bytes(const fs::path& p, const std::string& bytes) {
  std::FILE* f = std::fopen(p.c_str(), "wb");
  if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f)) {
    std::perror(p.c_str());
    std::exit(1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s PATH/TO/veltrim [MEGABYTES] [RUNS]\n", argv[0]);
    return 2;
  }
  const std::string tool = fs::absolute(argv[1]).string();
  // The block copy is built beside this program.
  const std::string copier =
      (fs::read_symlink("/proc/self/exe").parent_path() / "veltrim_block_copy").string();
  const double mb = argc > 2 ? std::atof(argv[2]) : 23;
  const int runs = argc > 3 ? std::atoi(argv[3]) : 21;

  fs::path dir = fs::temp_directory_path() / ("veltrim-bench-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const auto bytes = static_cast<std::size_t>(mb * 1000 * 1000);
  const fs::path big = dir / "big.css";
  const fs::path small = dir / "small.css";
  write_bytes(big, veltrim::bench::make_stylesheet(bytes, false));
  write_bytes(small, veltrim::bench::make_stylesheet(1000, false));
  const std::string copy_target = (dir / "copy.css").string();

  // One warm-up each, so that the page cache holds the input for both.
  run({tool, big.string()});
  run({copier, big.string(), copy_target});

  std::vector<double> tool_s;
  std::vector<double> copy_s;
  long tool_rss = 0;
  for (int i = 0; i < runs; ++i) {
    Sample t = run({tool, big.string()});
    Sample c = run({copier, big.string(), copy_target});
    tool_s.push_back(t.seconds);
    copy_s.push_back(c.seconds);
    tool_rss = std::max(tool_rss, t.max_rss_kib);
  }
  long small_rss = 0;
  for (int i = 0; i < 5; ++i)
    small_rss = std::max(small_rss, run({tool, small.string()}).max_rss_kib);

  const double mt = median(tool_s);
  const double mc = median(copy_s);
  const double in_mb = static_cast<double>(bytes) / 1e6;
  std::printf("input          %.1f MB (%s), %d alternating runs each\n", in_mb, big.c_str(), runs);
  std::printf("veltrim        median %7.1f ms  %7.0f MB/s\n", mt * 1e3, in_mb / mt);
  std::printf("64 KiB copy    median %7.1f ms  %7.0f MB/s\n", mc * 1e3, in_mb / mc);
  std::printf("ratio          %.2f (veltrim / copy; target <= 2.00)\n", mt / mc);
  std::printf("peak memory    %ld KiB on %.1f MB, %ld KiB on 1 KB: %+ld KiB (target within 1024)\n",
              tool_rss, in_mb, small_rss, tool_rss - small_rss);
  fs::remove_all(dir);
  return 0;
}
