// Starting a command on POSIX systems: posix_spawn with the output on a pipe.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
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

}  // namespace

CommandResult RunHiddenAndWait(const Command& command) {
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
  pid_t pid;
  const int error = posix_spawn(&pid, command.program.c_str(), actions.get(), nullptr, argv.data(), environ);
  if (error != 0) ThrowSystemError("Cannot start " + DescribeCommand(command), error);
  // The end comes once the command, and whatever it started with its
  // output, have closed their copies.
  writeEnd.Close();

  CommandResult result;
  char buffer[4096];
  int readError = 0;
  for (;;) {
    const ssize_t count = read(readEnd.get(), buffer, sizeof buffer);
    if (count > 0) {
      result.output.append(buffer, static_cast<size_t>(count));
    } else if (count == 0 || errno != EINTR) {
      if (count < 0) readError = errno;
      break;
    }
  }
  // Closed before the wait: a command still writing then ends instead of
  // blocking on a pipe nobody reads.
  readEnd.Close();

  int status;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) ThrowSystemError("Cannot wait for " + DescribeCommand(command));
  if (readError != 0) ThrowSystemError("Cannot read the output of " + DescribeCommand(command), readError);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}
