// Times the built tool against a plain 64 KiB block copy of the same file, as whole processes
// run alternately, on each shape of stylesheet (stylesheet_gen.h) or on the files given, and
// measures peak memory on a large and a tiny input.
//
//   veltrim_compare PATH/TO/veltrim [MEGABYTES=20] [RUNS=9] [FILE.css ...]
//
// Prints a row per input (median time, MB/s, ratio tool/copy), the worst ratio, the spread
// between the slowest and the fastest input, and the peak resident memory. VELTRIM_ISA in
// the environment reaches the tool: it holds it to a narrower instruction set.
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

struct Row {
  std::string name;
  double mb;
  double tool_s;
  double copy_s;
};

// Alternating runs of the tool and the copy on one file, after a warm-up of each.
Row measure(const std::string& tool, const std::string& copier, const std::string& name,
            const fs::path& file, const std::string& copy_target, int runs) {
  run({tool, file.string()});
  run({copier, file.string(), copy_target});
  std::vector<double> tool_s;
  std::vector<double> copy_s;
  for (int i = 0; i < runs; ++i) {
    tool_s.push_back(run({tool, file.string()}).seconds);
    copy_s.push_back(run({copier, file.string(), copy_target}).seconds);
  }
  return {name, static_cast<double>(fs::file_size(file)) / 1e6, median(tool_s), median(copy_s)};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s PATH/TO/veltrim [MEGABYTES] [RUNS] [FILE.css ...]\n", argv[0]);
    return 2;
  }
  const std::string tool = fs::absolute(argv[1]).string();
  // The block copy is built beside this program.
  const std::string copier =
      (fs::read_symlink("/proc/self/exe").parent_path() / "veltrim_block_copy").string();
  const double mb = argc > 2 ? std::atof(argv[2]) : 20;
  const int runs = argc > 3 ? std::atoi(argv[3]) : 9;

  fs::path dir = fs::temp_directory_path() / ("veltrim-bench-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const auto bytes = static_cast<std::size_t>(mb * 1000 * 1000);
  const std::string copy_target = (dir / "copy.css").string();
  // Peak memory first, while this process is small: a child's peak counts this process's own
  // from before the exec. The large input is written a megabyte at a time for that reason.
  constexpr std::size_t kMillion = std::size_t{1000} * 1000;
  const fs::path large = dir / "large.css";
  const fs::path small = dir / "small.css";
  {
    std::FILE* f = std::fopen(large.c_str(), "wb");
    for (std::size_t done = 0; f && done < bytes; done += kMillion) {
      const std::string part = veltrim::bench::make_stylesheet(kMillion, false);
      std::fwrite(part.data(), 1, part.size(), f);
    }
    if (!f || std::fclose(f) != 0) return 1;
  }
  write_bytes(small, veltrim::bench::make_stylesheet(1000, false));
  long large_rss = 0;
  long small_rss = 0;
  for (int i = 0; i < 3; ++i) {
    large_rss = std::max(large_rss, run({tool, large.string()}).max_rss_kib);
    small_rss = std::max(small_rss, run({tool, small.string()}).max_rss_kib);
  }
  fs::remove(large);

  const char* isa = std::getenv("VELTRIM_ISA");
  std::printf("%d alternating runs each; VELTRIM_ISA=%s\n", runs, isa ? isa : "(unset)");
  std::printf("%-36s %8s %10s %10s %8s %6s\n", "input", "MB", "veltrim ms", "copy ms", "MB/s",
              "ratio");

  std::vector<Row> rows;
  auto report = [&](const Row& r) {
    std::printf("%-36s %8.1f %10.1f %10.1f %8.0f %6.2f\n", r.name.c_str(), r.mb, r.tool_s * 1e3,
                r.copy_s * 1e3, r.mb / r.tool_s, r.tool_s / r.copy_s);
    std::fflush(stdout);
    rows.push_back(r);
  };
  const fs::path input = dir / "input.css";
  if (argc > 4) {
    for (int i = 4; i < argc; ++i) {
      fs::copy_file(argv[i], input, fs::copy_options::overwrite_existing);
      report(
          measure(tool, copier, fs::path(argv[i]).filename().string(), input, copy_target, runs));
    }
  } else {
    for (int s = 0; s < static_cast<int>(veltrim::bench::Shape::kCount); ++s) {
      const auto shape = static_cast<veltrim::bench::Shape>(s);
      write_bytes(input, veltrim::bench::make_shape(shape, bytes));
      report(measure(tool, copier, veltrim::bench::shape_name(shape), input, copy_target, runs));
    }
  }
  double worst = 0;
  double best = 1e30;
  double fastest = 1e30;
  double slowest = 0;
  for (const Row& r : rows) {
    worst = std::max(worst, r.tool_s / r.copy_s);
    best = std::min(best, r.tool_s / r.copy_s);
    fastest = std::min(fastest, r.tool_s / r.mb);
    slowest = std::max(slowest, r.tool_s / r.mb);
  }
  std::printf("worst ratio    %.2f (veltrim / copy)\n", worst);
  // The copy's own time per MB differs between inputs of one size (the file system's work
  // on them does): the spread of the ratios takes that out.
  std::printf("spread         %.2f of the ratios (worst / best); %.2f of the time per MB\n",
              worst / best, slowest / fastest);

  std::printf("peak memory    %ld KiB on %.0f MB, %ld KiB on 1 KB: %+ld KiB\n", large_rss, mb,
              small_rss, large_rss - small_rss);
  fs::remove_all(dir);
  return 0;
}
