#pragma once

#include <string>
#include <vector>

// A program and its arguments. The program path always travels as one
// argument, so a path with spaces is never split by a search of the line.
struct Command {
  std::string program;
  std::vector<std::string> arguments;
};

// The command as one line, for messages.
std::string DescribeCommand(const Command& command);

// Starts the command with no visible window and waits, without a time limit,
// until it has ended. Its exit code is not read. Throws when the program cannot
// be started or the wait fails.
void RunHiddenAndWait(const Command& command);
