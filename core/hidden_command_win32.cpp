// Starting a command on Windows: hidden, with its output on a pipe.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "hidden_command.h"
#include "windows_support.h"

namespace {

// One argument as the command-line parser of a Windows program reads it back:
// quoted when it holds blanks or quotes (or is empty), with the backslashes
// before a quote, and before the closing quote, doubled.
std::wstring QuotedArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) return argument;
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    quoted += c;
    backslashes = 0;
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}

// The program path is always quoted: unquoted, "C:\Program Files\..." would be
// searched piece by piece and could start C:\Program.exe instead. A path holds
// no quotes, and the program name is read up to the closing quote as it is.
std::wstring CommandLine(const Command& command) {
  std::wstring line = L"\"" + FromAnsi(command.program) + L"\"";
  for (const std::string& argument : command.arguments) line += L" " + QuotedArgument(FromAnsi(argument));
  return line;
}

// How much of the output is read at a time, and what the pipe holds: a
// command writing more waits until it is read, a tick at the most.
constexpr DWORD kChunk = 1 << 16;

// The read end of a command's output: reads only what is there, so it never
// waits for a process that holds the pipe open.
class OutputReader {
 public:
  OutputReader(HANDLE pipe, CommandResult& result) : pipe_(pipe), result_(result) {}

  DWORD error() const { return error_; }

  // Reads at most `most` bytes of what the pipe holds; returns how many.
  DWORD Read(DWORD most) {
    DWORD available = 0;
    if (!open_ || !PeekNamedPipe(pipe_, nullptr, 0, nullptr, &available, nullptr)) return End();
    DWORD count = 0;
    if (available > 0 && !ReadFile(pipe_, buffer_, std::min({available, most, kChunk}), &count, nullptr)) return End();
    KeepOutput(result_, {buffer_, count});
    return count;
  }

  // What the pipe holds now: once the command has ended, a process it left
  // holding the output may go on writing, and only what is there counts.
  void ReadWhatIsThere() {
    DWORD available = 0;
    if (!open_ || !PeekNamedPipe(pipe_, nullptr, 0, nullptr, &available, nullptr)) return;
    for (DWORD count; available > 0 && (count = Read(available)) > 0;) available -= count;
  }

 private:
  // Every writer has closed the pipe and it is empty, or it failed.
  DWORD End() {
    const DWORD error = GetLastError();
    if (error != ERROR_BROKEN_PIPE) error_ = error;
    open_ = false;
    return 0;
  }

  HANDLE pipe_;
  CommandResult& result_;
  bool open_ = true;
  DWORD error_ = 0;
  char buffer_[kChunk];
};

}  // namespace

CommandResult RunHiddenAndWait(const Command& command, const std::function<void()>& whileWaiting,
                               std::chrono::milliseconds limit) {
  const auto cannotStart = [&] { return "Cannot start " + DescribeCommand(command); };
  const auto cannotWait = [&] { return "Cannot wait for " + DescribeCommand(command); };
  // Both handles the command gets are inheritable; this program makes no
  // other handle inheritable, so the command inherits nothing else.
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  HANDLE ends[2];
  if (!CreatePipe(&ends[0], &ends[1], &inheritable, kChunk)) ThrowLastError(cannotStart);
  Handle readEnd(ends[0]);
  Handle writeEnd(ends[1]);
  if (!SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0)) ThrowLastError(cannotStart);
  const Handle input(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!input.valid()) ThrowLastError(cannotStart);

  std::wstring line = CommandLine(command);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
  startup.wShowWindow = SW_HIDE;
  startup.hStdInput = input.get();
  startup.hStdOutput = writeEnd.get();
  startup.hStdError = writeEnd.get();
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started))
    ThrowLastError(cannotStart);
  // The handle from the start stays valid after the process has ended, so
  // the wait can neither miss the end nor wait on a process reusing the id.
  const Handle process(started.hProcess);
  const Handle thread(started.hThread);
  writeEnd.Close();

  CommandResult result;
  OutputReader output(readEnd.get(), result);
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      // Only the command: a server it started lives on.
      TerminateProcess(process.get(), 1);
      WaitForSingleObject(process.get(), INFINITE);
      ThrowCommandOutlasted(command, limit);
    }
    // Output there is read at once; without, the wait is for the end or a tick.
    const DWORD tick = DWORD(std::min(left, kWaitTick).count());
    const DWORD waited = WaitForSingleObject(process.get(), output.Read(kChunk) > 0 ? 0 : tick);
    if (waited == WAIT_OBJECT_0) break;
    if (waited != WAIT_TIMEOUT) ThrowLastError(cannotWait);
    if (whileWaiting) whileWaiting();
  }
  output.ReadWhatIsThere();
  DWORD exitCode = 0;
  if (!GetExitCodeProcess(process.get(), &exitCode)) ThrowLastError(cannotWait);
  if (output.error() != 0) ThrowWindowsError("Cannot read the output of " + DescribeCommand(command), output.error());
  result.exitCode = static_cast<int>(exitCode);
  return result;
}
