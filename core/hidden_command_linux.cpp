// Starting a command on Linux: posix_spawn with the output on a pipe, and a
// process descriptor (pidfd) that wakes the wait when it ends.
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <string>
#include <vector>

#include "hidden_command.h"
#include "posix_support.h"

extern char** environ;

namespace {

class SpawnFileActions {
 public:
  SpawnFileActions() { posix_spawn_file_actions_init(&actions_); }
  SpawnFileActions(const SpawnFileActions&) = delete;
  SpawnFileActions& operator=(const SpawnFileActions&) = delete;
  ~SpawnFileActions() { posix_spawn_file_actions_destroy(&actions_); }
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

// A command starts with no signal blocked and the default action for the
// signals a window may block or ignore while it waits: a server it starts
// must still stop when told to.
class CleanSignals {
 public:
  CleanSignals() {
    posix_spawnattr_init(&attributes_);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes_, &signals);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&signals, signal);
    posix_spawnattr_setsigdefault(&attributes_, &signals);
    posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  }
  CleanSignals(const CleanSignals&) = delete;
  CleanSignals& operator=(const CleanSignals&) = delete;
  ~CleanSignals() { posix_spawnattr_destroy(&attributes_); }
  posix_spawnattr_t* get() { return &attributes_; }

 private:
  posix_spawnattr_t attributes_;
};

// A descriptor that becomes readable when the process ends, so the wait
// wakes at once; -1 where the system has none, and the wait then finds the
// end at its next tick.
int EndDescriptor(pid_t pid) {
#ifdef SYS_pidfd_open
  return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
  (void)pid;
  return -1;
#endif
}

// How much of the output is read at a time.
constexpr size_t kChunk = 1 << 16;

// The read end of a command's output, non-blocking: reads what is there.
class OutputReader {
 public:
  OutputReader(int fd, CommandResult& result) : fd_(fd), result_(result) { fcntl(fd, F_SETFL, O_NONBLOCK); }

  // -1 once the pipe has ended, so poll() passes over it.
  int fd() const { return open_ ? fd_ : -1; }
  int error() const { return error_; }

  // Reads at most `most` bytes of what the pipe holds, one buffer at a time;
  // stops at the pipe's end, when it is empty, or on an error.
  void Read(size_t most) {
    while (open_ && most > 0) {
      const ssize_t count = read(fd_, buffer_, std::min(most, sizeof buffer_));
      if (count > 0) {
        KeepOutput(result_, {buffer_, static_cast<size_t>(count)});
        most -= static_cast<size_t>(count);
      } else if (count < 0 && errno == EINTR) {
        continue;
      } else {
        if (count < 0 && errno == EAGAIN) return;
        if (count < 0) error_ = errno;
        open_ = false;
      }
    }
  }

  // What the pipe holds now: once the command has ended, a process it left
  // holding the output may go on writing, and only what is there counts.
  void ReadWhatIsThere() {
    int available = 0;
    if (open_ && ioctl(fd_, FIONREAD, &available) == 0) Read(static_cast<size_t>(available));
  }

 private:
  int fd_;
  CommandResult& result_;
  bool open_ = true;
  int error_ = 0;
  char buffer_[kChunk];
};

// Kills the command that ran past its limit, and waits for its end, which
// SIGKILL makes certain. What it started lives on.
[[noreturn]] void EndOutlasting(const Command& command, pid_t pid, std::chrono::milliseconds limit) {
  kill(pid, SIGKILL);
  int status;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  ThrowCommandOutlasted(command, limit);
}

}  // namespace

CommandResult RunHiddenAndWait(const Command& command, const std::function<void()>& whileWaiting,
                               std::chrono::milliseconds limit) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(command.program.c_str()));
  for (const std::string& argument : command.arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) ThrowSystemError("Cannot start " + DescribeCommand(command));
  FileDescriptor readEnd(ends[0]);
  FileDescriptor writeEnd(ends[1]);
  SpawnFileActions actions;
  posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(actions.get(), writeEnd.get(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(actions.get(), writeEnd.get(), STDERR_FILENO);
  CleanSignals signals;
  pid_t pid;
  const int error = posix_spawn(&pid, command.program.c_str(), actions.get(), signals.get(), argv.data(), environ);
  if (error != 0) ThrowSystemError("Cannot start " + DescribeCommand(command), error);
  writeEnd.Close();
  const FileDescriptor ended(EndDescriptor(pid));

  CommandResult result;
  OutputReader output(readEnd.get(), result);
  int status;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) EndOutlasting(command, pid, limit);
    pollfd events[] = {{output.fd(), POLLIN, 0}, {ended.get(), POLLIN, 0}};
    poll(events, 2, static_cast<int>(std::min(left, kWaitTick).count()));
    // One buffer per turn: a command that writes without end still lets the
    // window and the end be looked at.
    if (events[0].revents) output.Read(kChunk);
    const pid_t waited = waitpid(pid, &status, WNOHANG);
    if (waited == pid) break;
    if (waited < 0 && errno != EINTR) ThrowSystemError("Cannot wait for " + DescribeCommand(command));
    if (whileWaiting) whileWaiting();
  }
  output.ReadWhatIsThere();
  if (output.error() != 0) ThrowSystemError("Cannot read the output of " + DescribeCommand(command), output.error());
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}
