// Starting a command on Windows: hidden, with its output on a pipe.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <utility>

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

// The running command, as ninja's Subprocess owns its child: one not waited
// for to its end is ended, so none runs on unseen. One to be ended with all
// it started runs in a job object of its own.
class Child {
 public:
  Child(const PROCESS_INFORMATION& started, Handle job)
      : process_(started.hProcess), thread_(started.hThread), job_(std::move(job)) {}
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() {
    if (!ended_) End();
  }
  HANDLE process() const { return process_.get(); }
  void Ended() { ended_ = true; }

  // Puts the process, started suspended, in its job and lets it run.
  bool RunInJob() {
    return AssignProcessToJobObject(job_.get(), process_.get()) && ResumeThread(thread_.get()) != DWORD(-1);
  }

  // Ends it and waits for its end; the process alone, unless it has a job.
  void End() {
    if (job_.valid()) TerminateJobObject(job_.get(), 1);
    TerminateProcess(process_.get(), 1);
    WaitForSingleObject(process_.get(), INFINITE);
    ended_ = true;
  }

 private:
  // The handle from the start stays valid after the process has ended, so
  // the wait can neither miss the end nor wait on a process reusing the id.
  Handle process_;
  Handle thread_;
  Handle job_;
  bool ended_ = false;
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
  Handle job(command.endAllItStarted ? CreateJobObjectW(nullptr, nullptr) : nullptr);
  if (command.endAllItStarted && !job.valid()) ThrowLastError(cannotStart);
  // Suspended until it is in its job, so nothing it starts escapes it.
  const DWORD flags = command.endAllItStarted ? CREATE_SUSPENDED : 0;
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr, &startup, &started))
    ThrowLastError(cannotStart);
  Child child(started, std::move(job));
  if (command.endAllItStarted && !child.RunInJob()) ThrowLastError(cannotStart);
  writeEnd.Close();

  CommandResult result;
  OutputReader output(readEnd.get(), result);
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      child.End();
      ThrowCommandOutlasted(command, limit);
    }
    // Output there is read at once; without, the wait is for the end or a tick.
    const DWORD tick = DWORD(std::min(left, kWaitTick).count());
    const DWORD waited = WaitForSingleObject(child.process(), output.Read(kChunk) > 0 ? 0 : tick);
    if (waited == WAIT_OBJECT_0) break;
    if (waited != WAIT_TIMEOUT) ThrowLastError(cannotWait);
    if (whileWaiting) whileWaiting();
  }
  child.Ended();
  output.ReadWhatIsThere();
  DWORD exitCode = 0;
  if (!GetExitCodeProcess(child.process(), &exitCode)) ThrowLastError(cannotWait);
  if (output.error() != 0) ThrowWindowsError("Cannot read the output of " + DescribeCommand(command), output.error());
  result.exitCode = static_cast<int>(exitCode);
  return result;
}
