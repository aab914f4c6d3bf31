// The server's process on Linux: held by a pidfd, which polls readable once
// the process has ended, and asked for its sockets through /proc.
#include <dirent.h>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <memory>
#include <set>
#include <sstream>

#include "port_probe.h"
#include "posix_support.h"
#include "server_process.h"

namespace {

// -1 where the system has no pidfd, with errno saying why.
int OpenPidDescriptor(int pid) {
#ifdef SYS_pidfd_open
  return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
  (void)pid;
  errno = ENOSYS;
  return -1;
#endif
}

// Where no pidfd can be had: the process's state in /proc, where one that
// has ended but is not yet reaped shows as a zombie.
bool EndedByProc(int pid) {
  std::string stat;
  try {
    stat = ReadWholeFile("/proc/" + std::to_string(pid) + "/stat");
  } catch (const std::exception&) {
    return true;
  }
  const size_t name = stat.rfind(") ");
  return name == std::string::npos || stat.compare(name + 2, 1, "Z") == 0 || stat.compare(name + 2, 1, "X") == 0;
}

// The process and its children, as the kernel lists them.
std::vector<int> ProcessAndChildren(int pid) {
  std::vector<int> pids{pid};
  const std::string task = "/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children";
  std::istringstream children;
  try {
    children.str(ReadWholeFile(task));
  } catch (const std::exception&) {
    return pids;  // a kernel that does not list them, or the process has ended
  }
  for (int child; children >> child;) pids.push_back(child);
  return pids;
}

// The inodes of the sockets among the process's descriptors; false when the
// system does not let this user see them.
bool AppendSocketInodes(int pid, std::set<unsigned long long>& inodes) {
  const std::string folder = "/proc/" + std::to_string(pid) + "/fd";
  DIR* const opened = opendir(folder.c_str());
  if (!opened) return errno != EACCES && errno != EPERM;  // one gone meanwhile holds nothing
  const std::unique_ptr<DIR, int (*)(DIR*)> directory(opened, closedir);
  while (const dirent* entry = readdir(directory.get())) {
    char target[PATH_MAX];
    const std::string link = folder + "/" + entry->d_name;
    const ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
    if (length <= 0) continue;
    target[length] = '\0';
    unsigned long long inode;
    if (std::sscanf(target, "socket:[%llu]", &inode) == 1) inodes.insert(inode);
  }
  return true;
}

}  // namespace

// The pidfd, or -1 where there is none and /proc tells.
struct ServerProcess::Held {
  explicit Held(int fd) : pidfd(fd) {}
  FileDescriptor pidfd;
};

ServerProcess::ServerProcess(int pid, std::unique_ptr<Held> held) : pid_(pid), held_(std::move(held)) {}
ServerProcess::ServerProcess(ServerProcess&&) noexcept = default;
ServerProcess& ServerProcess::operator=(ServerProcess&&) noexcept = default;
ServerProcess::~ServerProcess() = default;

std::optional<ServerProcess> ServerProcess::Hold(int pid) {
  const int pidfd = OpenPidDescriptor(pid);
  const int error = errno;
  if (pidfd < 0 && error == ESRCH) return std::nullopt;
  if (pidfd < 0 && error != ENOSYS) ThrowSystemError("Cannot hold the server's process " + std::to_string(pid), error);
  ServerProcess process(pid, std::make_unique<Held>(pidfd));
  if (process.Ended()) return std::nullopt;
  return process;
}

bool ServerProcess::Ended() const {
  if (held_->pidfd.get() < 0) return EndedByProc(pid_);
  pollfd end{held_->pidfd.get(), POLLIN, 0};
  return poll(&end, 1, 0) != 0;
}

std::optional<std::vector<int>> ServerProcess::ListeningPorts() const {
  std::vector<int> ports;
  const std::vector<ListeningSocket> listeners = ListeningSockets();
  if (listeners.empty() || Ended()) return ports;
  std::set<unsigned long long> inodes;
  for (const int pid : ProcessAndChildren(pid_))
    if (!AppendSocketInodes(pid, inodes)) return std::nullopt;
  for (const ListeningSocket& socket : listeners) {
    if (socket.holder == 0) return std::nullopt;
    if (inodes.count(socket.holder)) ports.push_back(socket.port);
  }
  return ports;
}
