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

// A set-up call of posix_spawn's, which returns its error.
void Prepare(int error, const Command& command) {
  if (error != 0) ThrowSystemError("Cannot prepare the start of " + DescribeCommand(command), error);
}

// The command's input from /dev/null, its output and error output on the pipe.
class SpawnFileActions {
 public:
  SpawnFileActions(const Command& command, int output) {
    Prepare(posix_spawn_file_actions_init(&actions_), command);
    try {
      Prepare(posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0), command);
      Prepare(posix_spawn_file_actions_adddup2(&actions_, output, STDOUT_FILENO), command);
      Prepare(posix_spawn_file_actions_adddup2(&actions_, output, STDERR_FILENO), command);
    } catch (...) {
      posix_spawn_file_actions_destroy(&actions_);
      throw;
    }
  }
  SpawnFileActions(const SpawnFileActions&) = delete;
  SpawnFileActions& operator=(const SpawnFileActions&) = delete;
  ~SpawnFileActions() { posix_spawn_file_actions_destroy(&actions_); }
  const posix_spawn_file_actions_t* get() const { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

// A command starts with no signal blocked and the default action for the
// signals a window may block or ignore while it waits: a server it starts
// must still stop when told to. One to be ended with all it started leads
// a process group of its own.
class SpawnAttributes {
 public:
  explicit SpawnAttributes(const Command& command) {
    Prepare(posix_spawnattr_init(&attributes_), command);
    try {
      sigset_t signals;
      sigemptyset(&signals);
      Prepare(posix_spawnattr_setsigmask(&attributes_, &signals), command);
      for (const int signal : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&signals, signal);
      Prepare(posix_spawnattr_setsigdefault(&attributes_, &signals), command);
      short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
      if (command.endAllItStarted) {
        Prepare(posix_spawnattr_setpgroup(&attributes_, 0), command);
        flags |= POSIX_SPAWN_SETPGROUP;
      }
      Prepare(posix_spawnattr_setflags(&attributes_, flags), command);
    } catch (...) {
      posix_spawnattr_destroy(&attributes_);
      throw;
    }
  }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
  ~SpawnAttributes() { posix_spawnattr_destroy(&attributes_); }
  const posix_spawnattr_t* get() const { return &attributes_; }

 private:
  posix_spawnattr_t attributes_;
};

// The running command, as ninja's Subprocess owns its child: one not waited
// for to its end is ended and reaped, so no process outlives its wait
// unseen and none is left a zombie.
class Child {
 public:
  Child(pid_t pid, bool wholeGroup) : pid_(pid), wholeGroup_(wholeGroup) {}
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() {
    if (!reaped_) End();
  }
  pid_t pid() const { return pid_; }

  // True, with how it ended in `status`, once it has ended.
  bool Ended(int& status, const Command& command) {
    const pid_t waited = waitpid(pid_, &status, WNOHANG);
    if (waited < 0 && errno != EINTR) {
      const int error = errno;
      // No longer this process's to wait for: its id may name another.
      reaped_ = true;
      ThrowSystemError("Cannot wait for " + DescribeCommand(command), error);
    }
    reaped_ = waited == pid_;
    return reaped_;
  }

  // Ends it, and waits for its end, which SIGKILL makes certain. A group of
  // its own is ended whole (before the leader is reaped, while its id still
  // names the group); otherwise what it started lives on.
  void End() {
    kill(wholeGroup_ ? -pid_ : pid_, SIGKILL);
    int status;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    reaped_ = true;
  }

 private:
  pid_t pid_;
  bool wholeGroup_;
  bool reaped_ = false;
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

}  // namespace

CommandResult RunHiddenAndWait(const Command& command, const std::function<void()>& whileWaiting,
                               std::chrono::milliseconds limit) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(command.program.c_str()));
  for (const std::string& argument : command.arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) ThrowErrno([&] { return "Cannot start " + DescribeCommand(command); });
  FileDescriptor readEnd(ends[0]);
  FileDescriptor writeEnd(ends[1]);
  const SpawnFileActions actions(command, writeEnd.get());
  const SpawnAttributes attributes(command);
  pid_t pid;
  const int error = posix_spawn(&pid, command.program.c_str(), actions.get(), attributes.get(), argv.data(), environ);
  if (error != 0) ThrowSystemError("Cannot start " + DescribeCommand(command), error);
  Child child(pid, command.endAllItStarted);
  writeEnd.Close();
  const FileDescriptor ended(EndDescriptor(pid));

  CommandResult result;
  OutputReader output(readEnd.get(), result);
  int status;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      child.End();
      ThrowCommandOutlasted(command, limit);
    }
    pollfd events[] = {{output.fd(), POLLIN, 0}, {ended.get(), POLLIN, 0}};
    poll(events, 2, static_cast<int>(std::min(left, kWaitTick).count()));
    // One buffer per turn: a command that writes without end still lets the
    // window and the end be looked at.
    if (events[0].revents) output.Read(kChunk);
    if (child.Ended(status, command)) break;
    if (whileWaiting) whileWaiting();
  }
  output.ReadWhatIsThere();
  if (output.error() != 0) ThrowSystemError("Cannot read the output of " + DescribeCommand(command), output.error());
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}
