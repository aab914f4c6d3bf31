// The pieces script/bench runs as whole processes, so that the core can be
// timed against other programs doing the same work on the same input:
//
//   bench_tool config FILE LINES     write a configuration of LINES lines
//   bench_tool rewrite FILE PORT     rewrite its Listen lines, as a request does
//   bench_tool probe                 print this machine's used ports, as start-up finds them
//   bench_tool sockets COUNT         hold COUNT loopback sockets open until stdin ends
//   bench_tool time RUNS [--out FILE] [--window HOOK] -- PROGRAM ARGS...
//       run PROGRAM RUNS times, its output into FILE; print the median wall time
//       in ms and peak memory in KiB. With --window, time from start to its
//       first window shown (HOOK reports it).
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "fixtures.h"
#include "listen_file.h"
#include "port_probe.h"
#include "test_support.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Fail(const std::string& message) { throw std::runtime_error(message); }

void HoldSockets(size_t count) {
  const rlimit limit{count + 64, count + 64};
  if (setrlimit(RLIMIT_NOFILE, &limit) != 0) Fail("Cannot raise the open file limit");
  for (size_t i = 0; i < count; ++i) {
    // Half listening TCP sockets, half bound UDP ones: what ss -tuna lists.
    const bool tcp = i % 2 == 0;
    const int fd = socket(AF_INET, tcp ? SOCK_STREAM : SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || (tcp && listen(fd, 1) != 0))
      Fail("Cannot open socket " + std::to_string(i));
  }
  std::cout << "ready" << std::endl;
  std::string ignored;
  while (std::getline(std::cin, ignored)) {
  }
}

struct Run {
  double milliseconds;
  long peakKiB;
};

// The first window's showing, as the hook wrote it, in steady-clock nanoseconds.
Clock::time_point ShownAt(const std::string& file) {
  std::ifstream in(file);
  long long nanoseconds = 0;
  if (!(in >> nanoseconds)) Fail("The program showed no window");
  return Clock::time_point(std::chrono::nanoseconds(nanoseconds));
}

struct Timing {
  std::string out = "/dev/null";
  std::string hook;
  char** argv = nullptr;
};

class SpawnFileActions {
 public:
  explicit SpawnFileActions(const std::string& out) {
    posix_spawn_file_actions_init(&actions_);
    posix_spawn_file_actions_addopen(&actions_, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  SpawnFileActions(const SpawnFileActions&) = delete;
  SpawnFileActions& operator=(const SpawnFileActions&) = delete;
  ~SpawnFileActions() { posix_spawn_file_actions_destroy(&actions_); }
  const posix_spawn_file_actions_t* get() const { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

Run TimeOnce(const Timing& timing, const std::string& shownFile) {
  char** argv = timing.argv;
  const bool window = !timing.hook.empty();
  if (window) std::remove(shownFile.c_str());
  const SpawnFileActions actions(timing.out);
  const Clock::time_point start = Clock::now();
  pid_t pid;
  if (posix_spawnp(&pid, argv[0], actions.get(), nullptr, argv, environ) != 0)
    Fail(std::string("Cannot start ") + argv[0]);
  int status;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) Fail("Cannot wait");
  const Clock::time_point end = window ? ShownAt(shownFile) : Clock::now();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) Fail(std::string(argv[0]) + " failed");
  return {std::chrono::duration<double, std::milli>(end - start).count(), usage.ru_maxrss};
}

template <typename T>
T Median(std::vector<T> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void TimeProgram(int runs, const Timing& timing) {
  const std::string shownFile = (std::filesystem::temp_directory_path() / "portcfg-bench-shown").string();
  if (!timing.hook.empty()) {
    setenv("LD_PRELOAD", timing.hook.c_str(), 1);
    setenv("PORTCFG_BENCH_SHOWN_FILE", shownFile.c_str(), 1);
  }
  std::vector<double> times;
  std::vector<long> peaks;
  for (int i = 0; i < runs; ++i) {
    const Run run = TimeOnce(timing, shownFile);
    times.push_back(run.milliseconds);
    peaks.push_back(run.peakKiB);
  }
  std::remove(shownFile.c_str());
  std::printf("%.3f %ld\n", Median(times), Median(peaks));
}

int Main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 3 && args[0] == "config") {
    WriteFile(args[1], MakeConfiguration(std::stoul(args[2])));
  } else if (args.size() == 3 && args[0] == "rewrite") {
    RewriteListenLines(args[1], args[2]);
  } else if (args.size() == 1 && args[0] == "probe") {
    std::string out;
    for (const std::string& port : ProbeUsedPorts(SystemDirectory())) out.append(port).append("\n");
    std::fwrite(out.data(), 1, out.size(), stdout);
  } else if (args.size() == 2 && args[0] == "sockets") {
    HoldSockets(std::stoul(args[1]));
  } else if (args.size() >= 4 && args[0] == "time") {
    Timing timing;
    size_t i = 2;
    for (; i + 1 < args.size() && args[i] != "--"; i += 2) {
      if (args[i] == "--out")
        timing.out = args[i + 1];
      else if (args[i] == "--window")
        timing.hook = args[i + 1];
      else
        Fail("Unknown option " + args[i]);
    }
    if (i + 1 >= args.size() || args[i] != "--") Fail("usage: time RUNS [--out FILE] [--window HOOK] -- PROGRAM...");
    timing.argv = argv + 1 + i + 1;
    TimeProgram(std::stoi(args[1]), timing);
  } else {
    Fail("usage: see the head of bench/bench_tool.cpp");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Main(argc, argv);
  } catch (const std::exception& error) {
    std::cerr << "bench_tool: " << error.what() << "\n";
    return 1;
  }
}
