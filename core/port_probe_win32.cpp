// The used-port probe on Windows: netstat run through a batch file into a
// log, both on drive C: and both readable by users, writable by
// administrators only. The listening sockets come from the system's TCP table.
// Before windows.h, which would take the older winsock.h, without IPv6.
#include <winsock2.h>
// After winsock2.h.
#include <windows.h>
// After windows.h, which they need.
#include <iphlpapi.h>
#include <sddl.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

#include "file_io.h"
#include "hidden_command.h"
#include "port_probe.h"
#include "windows_support.h"

namespace {

constexpr const char* kBatchFile = "c:\\testport.bat";
constexpr const char* kNetstatLog = "c:\\netstat.log";

// SYSTEM and Administrators may do anything, Users only read; nothing is
// inherited from the folder. In the root of C: every user may otherwise
// change files that others created there.
class AdminOnlySecurity {
 public:
  AdminOnlySecurity() {
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FR;;;BU)",
                                                              SDDL_REVISION_1, &descriptor_, nullptr))
      ThrowLastError([] { return "Cannot build a security descriptor"; });
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
  const std::wstring name = FromAnsi(path);
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
  Handle file(CreateFileW(FromAnsi(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
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

// The port of a row of the system's TCP tables, which hold it in network
// byte order in the low half.
int PortOf(DWORD field) { return static_cast<int>((field & 0xFF) << 8 | (field >> 8 & 0xFF)); }

// Appends every row of the system's table of listening TCP sockets of the
// family, each with the process that owns it.
template <typename Table>
void AppendListeners(ULONG family, std::vector<ListeningSocket>& listeners) {
  // Whole rows of eight bytes keep the table aligned.
  std::vector<ULONGLONG> buffer;
  DWORD size = 0;
  DWORD result;
  // The table may grow between asking its size and reading it.
  while ((result = GetExtendedTcpTable(buffer.data(), &size, FALSE, family, TCP_TABLE_OWNER_PID_LISTENER, 0)) ==
         ERROR_INSUFFICIENT_BUFFER)
    buffer.resize(size / sizeof(ULONGLONG) + 1);
  if (result != NO_ERROR) ThrowWindowsError("Cannot read the system's table of listening TCP sockets", result);
  const auto* table = reinterpret_cast<const Table*>(buffer.data());
  for (DWORD row = 0; row < table->dwNumEntries; ++row)
    listeners.push_back({PortOf(table->table[row].dwLocalPort), table->table[row].dwOwningPid});
}

}  // namespace

std::vector<ListeningSocket> ListeningSockets() {
  std::vector<ListeningSocket> listeners;
  AppendListeners<MIB_TCPTABLE_OWNER_PID>(AF_INET, listeners);
  AppendListeners<MIB_TCP6TABLE_OWNER_PID>(AF_INET6, listeners);
  return listeners;
}

std::string SystemDirectory() {
  std::string buffer(MAX_PATH, '\0');
  for (;;) {
    const UINT length = GetSystemDirectoryA(buffer.data(), static_cast<UINT>(buffer.size()));
    if (length == 0) ThrowLastError([] { return "Cannot find the system directory"; });
    // A result that fits gives its length; one that does not gives the size
    // it needs, terminating NUL included.
    if (length < buffer.size()) {
      buffer.resize(length);
      return buffer;
    }
    buffer.assign(length, '\0');
  }
}

std::vector<int> ProbeUsedPorts(const std::string& systemDirectory, std::chrono::milliseconds limit,
                                const std::function<void()>& whileWaiting) {
  const std::string batch = systemDirectory + "\\netstat.exe -na > " + kNetstatLog + "\r\n";
  // The log is created here so that it has the same security; the batch's
  // redirection then only empties it.
  CreateAdminOnlyFile(kNetstatLog, {});
  CreateAdminOnlyFile(kBatchFile, batch);
  {
    // The batch runs with the administrator's rights: held from before it
    // starts until it has ended, so nobody can swap its line meanwhile.
    const Handle lock = LockUnchanged(kBatchFile, batch);
    // Past its limit, netstat is ended with it: alone it would hold the log
    // and every later start would fail on it.
    const Command command{kBatchFile, {}, true};
    const CommandResult result = RunHiddenAndWait(command, whileWaiting, limit);
    if (result.exitCode != 0) throw std::runtime_error(DescribeFailure(command, result));
  }
  std::vector<int> ports = ParseNetstatLog(ReadWholeFile(kNetstatLog));
  // A machine always has sockets of its own; a log without any line in
  // netstat's layout means netstat did not run or failed. Its header is
  // translated, so only the layout tells.
  if (ports.empty())
    throw std::runtime_error(std::string("\"") + kNetstatLog +
                             "\" holds no socket line (address:port), so netstat failed");
  return ports;
}
