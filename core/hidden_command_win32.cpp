// Starting a command on Windows: hidden, with its output on a pipe.
#include <windows.h>

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

}  // namespace

CommandResult RunHiddenAndWait(const Command& command) {
  // Both handles the command gets are inheritable; this program makes no
  // other handle inheritable, so the command inherits nothing else.
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  HANDLE ends[2];
  if (!CreatePipe(&ends[0], &ends[1], &inheritable, 0))
    ThrowWindowsError("Cannot start " + DescribeCommand(command), GetLastError());
  Handle readEnd(ends[0]);
  Handle writeEnd(ends[1]);
  if (!SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0))
    ThrowWindowsError("Cannot start " + DescribeCommand(command), GetLastError());
  const Handle input(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!input.valid()) ThrowWindowsError("Cannot start " + DescribeCommand(command), GetLastError());

  std::wstring line = CommandLine(command);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
  startup.wShowWindow = SW_HIDE;
  startup.hStdInput = input.get();
  startup.hStdOutput = writeEnd.get();
  startup.hStdError = writeEnd.get();
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started)) {
    const DWORD error = GetLastError();
    ThrowWindowsError("Cannot start " + DescribeCommand(command), error);
  }
  const Handle process(started.hProcess);
  const Handle thread(started.hThread);
  // The end comes once the command, and whatever it started with its
  // output, have closed their copies.
  writeEnd.Close();

  CommandResult result;
  char buffer[4096];
  DWORD count = 0;
  while (ReadFile(readEnd.get(), buffer, sizeof buffer, &count, nullptr)) result.output.append(buffer, count);
  const DWORD readError = GetLastError();
  // Closed before the wait: a command still writing then ends instead of
  // blocking on a pipe nobody reads.
  readEnd.Close();

  // The handle from the start stays valid after the process has ended, so
  // the wait can neither miss the end nor wait on a process reusing the id.
  DWORD exitCode = 0;
  if (WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0 || !GetExitCodeProcess(process.get(), &exitCode)) {
    const DWORD error = GetLastError();
    ThrowWindowsError("Cannot wait for " + DescribeCommand(command), error);
  }
  if (readError != ERROR_BROKEN_PIPE)
    ThrowWindowsError("Cannot read the output of " + DescribeCommand(command), readError);
  result.exitCode = static_cast<int>(exitCode);
  return result;
}
