// The Windows side of the core: line ends, the installed tree, the netstat
// probe, starting commands hidden and replacing a file in one step. Paths are
// text in the ANSI code page, as the rest of the core keeps them.
#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "file_io.h"
#include "hidden_command.h"
#include "listen_file.h"
#include "port_probe.h"
#include "server_tree.h"

const std::string_view kLineEnd = "\r\n";

ServerTree InstalledServerTree() {
  return {"C:\\Program Files\\Apache2\\conf\\httpd.conf", "C:\\Program Files\\Apache2\\bin\\apache"};
}

namespace {

constexpr const char* kBatchFile = "c:\\testport.bat";
constexpr const char* kNetstatLog = "c:\\netstat.log";

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { Close(); }
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  // Closes now and reports the result: a failed close can mean lost data.
  bool Close() {
    const bool closed = !valid() || CloseHandle(handle_);
    handle_ = nullptr;
    return closed;
  }

 private:
  HANDLE handle_;
};

// The system's own words for an error code, without the trailing line end.
std::string SystemReason(DWORD error) {
  char* text = nullptr;
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string reason = length > 0 ? std::string(text, length) : std::string();
  LocalFree(text);
  while (!reason.empty() && (reason.back() == '\r' || reason.back() == '\n' || reason.back() == ' ')) reason.pop_back();
  return reason + " (error " + std::to_string(error) + ")";
}

[[noreturn]] void ThrowSystemError(const std::string& what, DWORD error) {
  throw std::runtime_error(what + ": " + SystemReason(error));
}

// The error of the last call on the file; taken before building the message
// can change it.
[[noreturn]] void ThrowFileError(const char* what, const std::string& path) {
  const DWORD error = GetLastError();
  ThrowSystemError(std::string(what) + " \"" + path + "\"", error);
}

// Back to the ANSI code page, for messages.
std::string Narrow(const std::wstring& text) {
  const int length =
      WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), narrow.data(), length, nullptr, nullptr);
  return narrow;
}

std::wstring Widen(const std::string& text) {
  if (text.empty()) return {};
  const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (length == 0) ThrowFileError("Cannot convert", text);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

// False, with the system's error, when a write fails.
bool WriteAll(const Handle& file, std::string_view contents) {
  while (!contents.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(contents.size(), 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file.get(), contents.data(), chunk, &written, nullptr)) return false;
    contents.remove_prefix(written);
  }
  return true;
}

// SYSTEM and Administrators may do anything, Users only read; nothing is
// inherited from the folder. In the root of C: every user may otherwise
// change files that others created there.
class AdminOnlySecurity {
 public:
  AdminOnlySecurity() {
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FR;;;BU)",
                                                              SDDL_REVISION_1, &descriptor_, nullptr))
      ThrowSystemError("Cannot build a security descriptor", GetLastError());
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = descriptor_;
    attributes_.bInheritHandle = FALSE;
  }
  AdminOnlySecurity(const AdminOnlySecurity&) = delete;
  AdminOnlySecurity& operator=(const AdminOnlySecurity&) = delete;
  ~AdminOnlySecurity() { LocalFree(descriptor_); }
  SECURITY_ATTRIBUTES* get() { return &attributes_; }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
  SECURITY_ATTRIBUTES attributes_{};
};

// Creates the file anew (a file of that name is deleted first, so neither its
// security nor a link of someone else's is taken over), readable by users and
// writable by administrators only, with exactly the contents.
void CreateAdminOnlyFile(const std::string& path, std::string_view contents) {
  const std::wstring name = Widen(path);
  if (!DeleteFileW(name.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) ThrowFileError("Cannot replace", path);
  AdminOnlySecurity security;
  Handle file(CreateFileW(name.c_str(), GENERIC_WRITE, 0, security.get(), CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) ThrowFileError("Cannot create", path);
  if (!WriteAll(file, contents) || !file.Close()) ThrowFileError("Cannot write", path);
}

// Opens the file so that nobody may write, replace or delete it while the
// handle is held, and checks that it still holds exactly the contents. A
// handle open for writing cannot be the lock: starting a batch file that
// is open for writing fails.
Handle LockUnchanged(const std::string& path, std::string_view contents) {
  Handle file(CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) ThrowFileError("Cannot lock", path);
  // One byte more than expected, so a longer file shows.
  std::string found(contents.size() + 1, '\0');
  DWORD count = 0;
  if (!ReadFile(file.get(), found.data(), static_cast<DWORD>(found.size()), &count, nullptr))
    ThrowFileError("Cannot read", path);
  if (found.substr(0, count) != contents)
    throw std::runtime_error("\"" + path + "\" was changed by another program before it could run");
  return file;
}

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
  std::wstring line = L"\"" + Widen(command.program) + L"\"";
  for (const std::string& argument : command.arguments) line += L" " + QuotedArgument(Widen(argument));
  return line;
}

}  // namespace

std::string SystemDirectory() {
  std::string buffer(MAX_PATH, '\0');
  for (;;) {
    const UINT length = GetSystemDirectoryA(buffer.data(), static_cast<UINT>(buffer.size()));
    if (length == 0) ThrowSystemError("Cannot find the system directory", GetLastError());
    // A result that fits gives its length; one that does not gives the size
    // it needs, terminating NUL included.
    if (length < buffer.size()) {
      buffer.resize(length);
      return buffer;
    }
    buffer.assign(length, '\0');
  }
}

std::vector<std::string> ProbeUsedPorts(const std::string& systemDirectory) {
  const std::string batch = systemDirectory + "\\netstat.exe -na > " + kNetstatLog + "\r\n";
  // The log is created here so that it has the same security; the batch's
  // redirection then only empties it.
  CreateAdminOnlyFile(kNetstatLog, {});
  CreateAdminOnlyFile(kBatchFile, batch);
  {
    // The batch runs with the administrator's rights: held from before it
    // starts until it has ended, so nobody can swap its line meanwhile.
    const Handle lock = LockUnchanged(kBatchFile, batch);
    RunHiddenAndWait({kBatchFile, {}});
  }
  return ParseNetstatLog(ReadWholeFile(kNetstatLog));
}

CommandResult RunHiddenAndWait(const Command& command) {
  // Both handles the command gets are inheritable; this program makes no
  // other handle inheritable, so the command inherits nothing else.
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  HANDLE ends[2];
  if (!CreatePipe(&ends[0], &ends[1], &inheritable, 0))
    ThrowSystemError("Cannot start " + DescribeCommand(command), GetLastError());
  Handle readEnd(ends[0]);
  Handle writeEnd(ends[1]);
  if (!SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0))
    ThrowSystemError("Cannot start " + DescribeCommand(command), GetLastError());
  const Handle input(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!input.valid()) ThrowSystemError("Cannot start " + DescribeCommand(command), GetLastError());

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
    ThrowSystemError("Cannot start " + DescribeCommand(command), error);
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
    ThrowSystemError("Cannot wait for " + DescribeCommand(command), error);
  }
  if (readError != ERROR_BROKEN_PIPE)
    ThrowSystemError("Cannot read the output of " + DescribeCommand(command), readError);
  result.exitCode = static_cast<int>(exitCode);
  return result;
}

void ReplaceFileContents(const std::string& path, std::string_view contents) {
  const std::wstring target = Widen(path);
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) ThrowFileError("Cannot read", path);
  // Replacing needs only the folder's permission; a file the user may not
  // write (read-only, denied by its security, or held by another program)
  // must stay unwritten.
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    SetLastError(ERROR_ACCESS_DENIED);
    ThrowFileError("Cannot write", path);
  }
  {
    Handle check(CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!check.valid()) ThrowFileError("Cannot write", path);
  }

  const size_t slash = target.find_last_of(L"\\/");
  const std::wstring folder = slash == std::wstring::npos ? L"." : target.substr(0, slash + 1);
  wchar_t temp[MAX_PATH];
  if (GetTempFileNameW(folder.c_str(), L"pcf", 0, temp) == 0)
    ThrowFileError("Cannot create a temporary file beside", path);
  // Errors on the temporary file are reported against the file it is to
  // replace, with the temporary file as the detail: a full disk is the
  // config's problem.
  const auto fail = [&](const char* what) {
    const DWORD error = GetLastError();
    throw std::runtime_error(std::string(what) + " \"" + path + "\": " + SystemReason(error) + " (temporary file \"" +
                             Narrow(temp) + "\")");
  };
  try {
    Handle file(CreateFileW(temp, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) fail("Cannot write");
    if (!WriteAll(file, contents)) fail("Cannot write");
    if (!FlushFileBuffers(file.get())) fail("Cannot flush");
    if (!file.Close()) fail("Cannot write");
    // ReplaceFileW carries the replaced file's security and attributes over;
    // the attributes are set beforehand too, as not every implementation of
    // it keeps them (Wine's does not).
    if (!SetFileAttributesW(temp, attributes)) fail("Cannot set the attributes of");
    if (!ReplaceFileW(target.c_str(), temp, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
      fail("Cannot replace");
  } catch (...) {
    DeleteFileW(temp);
    throw;
  }
}

bool IsFileExit(const std::string& strFileName) {
  const DWORD attributes = GetFileAttributesW(Widen(strFileName).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

size_t KnownFileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &data)) return 0;
  return static_cast<size_t>(static_cast<unsigned long long>(data.nFileSizeHigh) << 32 | data.nFileSizeLow);
}
