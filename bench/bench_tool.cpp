// The pieces script/bench runs as whole processes, so that the core can be
// timed against other programs doing the same work on the same input:
//
//   bench_tool config FILE LINES     write a configuration of LINES lines
//   bench_tool rewrite FILE PORT     rewrite its Listen lines, as a request does
//   bench_tool probe                 print this machine's used ports, as start-up finds them
//   bench_tool sockets COUNT         hold COUNT loopback sockets open until stdin ends
//   bench_tool downtime ours|hand ROOT PORT
//       move the running server of the private tree ROOT to PORT, as a press
//       of portchange's Change does or as an expert would by hand (rewrite,
//       -k stop, wait for the server to exit, -k start, wait for the port);
//       print the ms from the press to the new port answering and the
//       longest ms in which no port answered
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
#include <future>
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "fixtures.h"
#include "hidden_command.h"
#include "listen_file.h"
#include "port_controller.h"
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

// Whether a server takes connections on the loopback port.
bool Answers(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool taken = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  // Reset rather than closed: the server drops it at once, and no TIME_WAIT piles up.
  const linger reset{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  close(fd);
  return taken;
}

struct Watched {
  Clock::time_point newAnswered;
  Clock::duration longestSilence{};
};

// Asks both ports about every millisecond until the new one answers.
Watched WatchPorts(int oldPort, int newPort) {
  Watched watched;
  Clock::time_point lastAnswer = Clock::now();
  for (const Clock::time_point limit = lastAnswer + std::chrono::seconds(60); Clock::now() < limit;) {
    const bool answered = Answers(newPort);
    if (answered || Answers(oldPort)) {
      const Clock::time_point now = Clock::now();
      watched.longestSilence = std::max(watched.longestSilence, now - lastAnswer);
      lastAnswer = now;
    }
    if (answered) {
      watched.newAnswered = lastAnswer;
      return watched;
    }
    usleep(1000);
  }
  Fail("The new port did not answer within 60 s");
}

// True while the process lives; a zombie has exited, whoever reaps it.
bool Alive(long pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const size_t state = text.rfind(") ");
  return state != std::string::npos && text.compare(state + 2, 1, "Z") != 0;
}

// A window that shows nothing, answering with the port to change to.
class SilentView : public PortView {
 public:
  explicit SilentView(std::string port) : port_(std::move(port)) {}
  std::string GetPortText() override { return port_; }
  void SetPortText(const std::string&) override {}
  void AddUsedPort(const std::string&) override {}
  void SetApplyEnabled(bool) override {}
  void ShowMessage(const std::string& text) override { Fail("The change was refused: " + text); }
  void Close() override {}
  void KeepAlive() override {}

 private:
  std::string port_;
};

// The file's Listen lines rewritten and in its place, as a change that went
// well leaves it.
void WriteListenPort(const std::string& path, const std::string& port) {
  FileReplacement file = RewriteListenLines(path, port);
  file.Place();
  file.Commit();
}

// The expert's sequence, every wait as tight as a loop allows.
void ChangeByHand(const ServerTree& tree, const std::string& pidFile, const std::string& port) {
  long pid = 0;
  std::ifstream(pidFile) >> pid;
  WriteListenPort(tree.configFile, port);
  RunHiddenAndWait({tree.serverProgram, {"-k", "stop"}});
  while (Alive(pid)) usleep(1000);
  if (RunHiddenAndWait({tree.serverProgram, {"-k", "start"}}).exitCode != 0) Fail("-k start failed");
}

void MeasureDowntime(bool ours, const std::string& root, const std::string& port) {
  const ServerTree tree{root + "/conf/httpd.conf", root + "/bin/httpd"};
  std::string oldPort;
  ReadListenPort(tree.configFile, [&](const std::string& found) { oldPort = found; });
  SilentView view(port);
  PortController controller(ApplyMode::Change, view, tree);
  // The window is open before the press.
  if (ours) controller.Start();
  std::future<Watched> watch = std::async(std::launch::async, WatchPorts, std::stoi(oldPort), std::stoi(port));
  // The watch has seen the old port answer before the press.
  usleep(20000);
  const Clock::time_point press = Clock::now();
  if (ours) {
    controller.RequestChange();
    if (!controller.applied()) Fail("The change was not applied");
  } else {
    ChangeByHand(tree, root + "/logs/httpd.pid", port);
  }
  const Watched watched = watch.get();
  const auto ms = [](Clock::duration span) { return std::chrono::duration<double, std::milli>(span).count(); };
  std::printf("%.1f %.1f\n", ms(watched.newAnswered - press), ms(watched.longestSilence));
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
    WriteListenPort(args[1], args[2]);
  } else if (args.size() == 1 && args[0] == "probe") {
    std::string out;
    for (const int port : ProbeUsedPorts(SystemDirectory())) out.append(std::to_string(port)).append("\n");
    std::fwrite(out.data(), 1, out.size(), stdout);
  } else if (args.size() == 4 && args[0] == "downtime" && (args[1] == "ours" || args[1] == "hand")) {
    MeasureDowntime(args[1] == "ours", args[2], args[3]);
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
