#pragma once

// Running a command with no visible window. Describing commands and keeping
// their output is in hidden_command.cpp; starting them in
// hidden_command_linux.cpp or hidden_command_win32.cpp.

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// A program and its arguments. The program path always travels as one
// argument, so a path with spaces is never split by a search of the line.
struct Command {
  std::string program;
  std::vector<std::string> arguments;
  // Ended past its limit together with every process it started, not alone:
  // for a command that starts no server, as the probe's batch file, whose
  // netstat would live on holding the log.
  bool endAllItStarted = false;
};

// How a command ended: its exit code (on Linux, a process ended by a signal
// gives 128 + the signal, as a shell reports it) and the start of what it
// wrote to its output and error output, in the order written.
struct CommandResult {
  int exitCode = 0;
  std::string output;
  // More was written than kKeptOutput, and dropped.
  bool outputCut = false;
};

// How much of a command's output is kept: a server names the cause of a
// failure first, and a message box has room for a few lines of it.
constexpr size_t kKeptOutput = 64 * 1024;

// How often a wait looks again, and calls its whileWaiting: often enough for
// a window to keep painting, seldom enough to cost nothing.
constexpr std::chrono::milliseconds kWaitTick{10};

// How long a command may run: then it is ended and counts as failed, so a
// command that never returns cannot hold a change, or the start, for ever.
constexpr std::chrono::milliseconds kCommandLimit = std::chrono::minutes(2);

// A span as messages give it: "2 minutes", "30 s", or "250 ms" when it is no
// whole number of seconds.
std::string DescribeSpan(std::chrono::milliseconds span);

// The command as one line, for messages: the program and every argument that
// holds a blank (or is empty) in quotes.
std::string DescribeCommand(const Command& command);

// What a command that failed said: the command line, its exit code followed
// by the outcome (", but ..."), then the first lines of its output, one
// indented line each, each cut to a width a message box can show, and how
// many more lines there were (or only that there was more, when more was
// written than was kept).
std::string DescribeFailure(const Command& command, const CommandResult& result, const std::string& outcome = {});

// Appends what a command wrote to its kept output; what goes beyond
// kKeptOutput is dropped.
void KeepOutput(CommandResult& result, std::string_view written);

// Starts the command with no visible window, an empty input and, on Linux,
// no blocked signals and the default actions for SIGTERM, SIGINT and SIGHUP.
// Waits until the command itself has ended, calling whileWaiting every
// kWaitTick or more often; meanwhile, and once more when it has ended, reads
// what is in its output, so it never blocks on a full pipe. A process the
// command started and left holding the output is not waited for. A command
// still running after `limit` is ended (that process only, not one it
// started, unless endAllItStarted) and the wait throws "... did not end
// within ...". Throws too when the program cannot be started or the wait
// fails; a command not waited for to its end (whileWaiting threw) is ended
// as past its limit before the error goes on.
CommandResult RunHiddenAndWait(const Command& command, const std::function<void()>& whileWaiting = {},
                               std::chrono::milliseconds limit = kCommandLimit);

// The error a command's wait throws once the limit has passed.
[[noreturn]] void ThrowCommandOutlasted(const Command& command, std::chrono::milliseconds limit);
