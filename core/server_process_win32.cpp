// The server's process on Windows: held by a handle with SYNCHRONIZE, which is
// signalled once the process has ended, and found as the owner of its sockets
// in the system's TCP table.
#include <winsock2.h>
// After winsock2.h.
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <algorithm>

#include "port_probe.h"
#include "server_process.h"
#include "windows_support.h"

namespace {

// The process and its children: the server's sockets may be a child's.
std::vector<DWORD> ProcessAndChildren(DWORD pid) {
  std::vector<DWORD> pids{pid};
  const Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.valid()) ThrowLastError([] { return std::string("Cannot list the processes"); });
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry))
    if (entry.th32ParentProcessID == pid && entry.th32ProcessID != pid) pids.push_back(entry.th32ProcessID);
  return pids;
}

}  // namespace

struct ServerProcess::Held {
  explicit Held(Handle held) : process(std::move(held)) {}
  Handle process;
};

ServerProcess::ServerProcess(int pid, std::unique_ptr<Held> held) : pid_(pid), held_(std::move(held)) {}
ServerProcess::ServerProcess(ServerProcess&&) noexcept = default;
ServerProcess& ServerProcess::operator=(ServerProcess&&) noexcept = default;
ServerProcess::~ServerProcess() = default;

// A pid no process has (any more) cannot be opened: the system says the
// parameter is wrong.
std::optional<ServerProcess> ServerProcess::Hold(int pid) {
  Handle process(OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid)));
  if (!process.valid() && GetLastError() == ERROR_INVALID_PARAMETER) return std::nullopt;
  if (!process.valid()) ThrowLastError([&] { return "Cannot hold the server's process " + std::to_string(pid); });
  ServerProcess held(pid, std::make_unique<Held>(std::move(process)));
  if (held.Ended()) return std::nullopt;
  return held;
}

bool ServerProcess::Ended() const { return WaitForSingleObject(held_->process.get(), 0) == WAIT_OBJECT_0; }

// Wine names no owner: every row's is 0.
std::optional<std::vector<int>> ServerProcess::ListeningPorts() const {
  std::vector<int> ports;
  const std::vector<ListeningSocket> listeners = ListeningSockets();
  if (listeners.empty() || Ended()) return ports;
  const std::vector<DWORD> pids = ProcessAndChildren(static_cast<DWORD>(pid_));
  for (const ListeningSocket& socket : listeners) {
    if (socket.holder == 0) return std::nullopt;
    if (std::find(pids.begin(), pids.end(), socket.holder) != pids.end()) ports.push_back(socket.port);
  }
  return ports;
}
