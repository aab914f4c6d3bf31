// The Windows side of the core: line ends, the installed tree, the netstat
// probe, starting commands hidden and replacing a file in one step. Paths are
// text in the ANSI code page, as the rest of the core keeps them.
#include <windows.h>

#include <algorithm>
#include <stdexcept>
#include <string>
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
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string reason = length > 0 ? std::string(text, length) : std::string();
  LocalFree(text);
  while (!reason.empty() && (reason.back() == '\r' || reason.back() == '\n' || reason.back() == ' '))
    reason.pop_back();
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

std::wstring Widen(const std::string& text) {
  if (text.empty()) return {};
  const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (length == 0) ThrowFileError("Cannot convert", text);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

void WriteAll(const Handle& file, std::string_view contents, const std::string& path) {
  while (!contents.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(contents.size(), 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file.get(), contents.data(), chunk, &written, nullptr))
      ThrowFileError("Cannot write", path);
    contents.remove_prefix(written);
  }
}

// Creates the file, replacing any file of that name, with exactly the contents.
void CreateFileWith(const std::string& path, std::string_view contents) {
  Handle file(CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                          nullptr));
  if (!file.valid()) ThrowFileError("Cannot create", path);
  WriteAll(file, contents, path);
  if (!file.Close()) ThrowFileError("Cannot write", path);
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
  CreateFileWith(kBatchFile, systemDirectory + "\\netstat.exe -na > " + kNetstatLog + "\r\n");
  RunHiddenAndWait({kBatchFile, {}});
  return ParseNetstatLog(ReadWholeFile(kNetstatLog));
}

void RunHiddenAndWait(const Command& command) {
  std::wstring line = CommandLine(command);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
    const DWORD error = GetLastError();
    ThrowSystemError("Cannot start " + DescribeCommand(command), error);
  }
  const Handle process(started.hProcess);
  const Handle thread(started.hThread);
  // The handle from the start stays valid after the process has ended, so
  // the wait can neither miss the end nor wait on a process reusing the id.
  if (WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0) {
    const DWORD error = GetLastError();
    ThrowSystemError("Cannot wait for " + DescribeCommand(command), error);
  }
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
  try {
    Handle file(CreateFileW(temp, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) ThrowFileError("Cannot open a temporary file beside", path);
    WriteAll(file, contents, path);
    if (!FlushFileBuffers(file.get())) ThrowFileError("Cannot flush a temporary file beside", path);
    if (!file.Close()) ThrowFileError("Cannot write", path);
    // ReplaceFileW carries the replaced file's security and attributes over;
    // the attributes are set beforehand too, as not every implementation of
    // it keeps them (Wine's does not).
    if (!SetFileAttributesW(temp, attributes))
      ThrowFileError("Cannot set the attributes of a temporary file beside", path);
    if (!ReplaceFileW(target.c_str(), temp, nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
      ThrowFileError("Cannot replace", path);
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
