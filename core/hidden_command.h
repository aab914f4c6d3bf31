#pragma once

// Running a command with no visible window. Describing commands is in
// hidden_command.cpp; starting them in hidden_command_posix.cpp or
// hidden_command_win32.cpp.

#include <string>
#include <string_view>
#include <vector>

// A program and its arguments. The program path always travels as one
// argument, so a path with spaces is never split by a search of the line.
struct Command {
  std::string program;
  std::vector<std::string> arguments;
};

// How a command ended: its exit code (on POSIX, a process ended by a signal
// gives 128 + the signal, as a shell reports it) and everything it wrote to
// its output and error output, in the order written.
struct CommandResult {
  int exitCode = 0;
  std::string output;
};

// The command as one line, for messages.
std::string DescribeCommand(const Command& command);

// What a failed command said: the command line, its exit code and the last
// lines of its output, one indented line each.
std::string DescribeFailure(const Command& command, const CommandResult& result);

// Starts the command with no visible window and an empty input, reads its
// output to the end (so it can never block on a full pipe) and waits, without
// a time limit, until it has ended. Throws when the program cannot be started
// or the wait fails.
CommandResult RunHiddenAndWait(const Command& command);
