// The watch mode's latency and idle cost, on Linux: `veltrim --watch` on one stylesheet, 200
// saves in place, each timed from the end of the save to its new output in place (the output's
// inode changes when the new file is renamed over it); then the processor time the idle
// watcher uses over a minute, from /proc/PID/stat. Not a test: the figures go into
// doc/performance.md.
//
//   watch_latency [path/to/veltrim] [saves] [idle seconds]
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

void write_whole(const std::string& name, const std::string& bytes) {
  std::ofstream(name, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string read_whole(const std::string& name) {
  std::ifstream f(name, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

ino_t inode_of(const char* name) {
  struct stat st;
  return ::stat(name, &st) == 0 ? st.st_ino : 0;
}

// The processor time, user and system, that a process has used, in clock ticks.
long cpu_ticks(pid_t pid) {
  const std::string stat = read_whole("/proc/" + std::to_string(pid) + "/stat");
  // The fields after the command's name, which stands in parentheses and may hold blanks.
  std::istringstream rest(stat.substr(stat.rfind(')') + 2));
  std::string field;
  long utime = 0;
  long stime = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i) {
    if (i == 14) utime = std::atol(field.c_str());
    if (i == 15) stime = std::atol(field.c_str());
  }
  return utime + stime;
}

// A stylesheet of some 20 KB, which save `n` makes different from the one before.
std::string sheet(int n) {
  std::string css;
  for (int i = 0; i < 400; ++i) css += ".rule" + std::to_string(i) + " { color : red ; margin : 0 }\n";
  return css + ".save { n : " + std::to_string(n) + " }\n";
}

}  // namespace

int main(int argc, char** argv) {
  char tool[4096];
  if (::realpath(argc > 1 ? argv[1] : "build/default/veltrim", tool) == nullptr) {
    std::fprintf(stderr, "no tool at %s\n", argc > 1 ? argv[1] : "build/default/veltrim");
    return 1;
  }
  const int saves = argc > 2 ? std::atoi(argv[2]) : 200;
  const int idle_seconds = argc > 3 ? std::atoi(argv[3]) : 60;
  char folder[] = "/tmp/veltrim-watch-bench-XXXXXX";
  if (::mkdtemp(folder) == nullptr || ::chdir(folder) != 0) return 1;
  write_whole("a.css", sheet(0));

  const int log = ::open("watch.log", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(log, 1);
    ::execl(tool, tool, "--watch", "a.css", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  const auto started = Clock::now();
  while (read_whole("watch.log").find("Ctrl+C") == std::string::npos) {
    if (Clock::now() - started > std::chrono::seconds(10) || ::waitpid(pid, nullptr, WNOHANG) != 0) {
      std::fprintf(stderr, "the watch did not start\n");
      return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }

  std::vector<double> ms;
  for (int n = 1; n <= saves; ++n) {
    const ino_t before = inode_of("a.olf");
    write_whole("a.css", sheet(n));
    const auto saved = Clock::now();
    const auto limit = saved + std::chrono::seconds(5);
    while (inode_of("a.olf") == before && Clock::now() < limit) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - saved).count());
  }
  std::sort(ms.begin(), ms.end());
  const auto at = [&ms](double q) { return ms[std::min(ms.size() - 1, static_cast<std::size_t>(q * static_cast<double>(ms.size())))]; };
  std::printf("saves %d: median %.1f ms, p99 %.1f ms, max %.1f ms\n", saves, at(0.5), at(0.99), ms.back());

  const long ticks_before = cpu_ticks(pid);
  std::this_thread::sleep_for(std::chrono::seconds(idle_seconds));
  const long ticks = cpu_ticks(pid) - ticks_before;
  std::printf("idle %d s: %ld clock ticks of processor time (%.0f ms)\n", idle_seconds, ticks,
              1000.0 * static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK)));

  ::kill(pid, SIGTERM);
  ::waitpid(pid, nullptr, 0);
  for (const char* name : {"a.css", "a.olf", "watch.log"}) ::unlink(name);
  ::rmdir(folder);
  return 0;
}
