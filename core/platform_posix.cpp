// The POSIX side of the core: line ends, the installed tree, the socket
// tables, starting commands and replacing a file in one step.
#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "file_io.h"
#include "hidden_command.h"
#include "listen_file.h"
#include "port_probe.h"
#include "server_tree.h"

extern char** environ;

const std::string_view kLineEnd = "\n";

ServerTree InstalledServerTree() {
  const std::string root = PORTCFG_APACHE_ROOT;
  return {root + "/conf/httpd.conf", root + "/bin/httpd"};
}

std::string SystemDirectory() { return "/proc/net"; }

namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() { Close(); }
  int get() const { return fd_; }
  // Closes now and reports the result: a failed close can mean lost data.
  int Close() {
    const int result = fd_ >= 0 ? close(fd_) : 0;
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

// A socket-diagnostics netlink socket: the kernel hands out its socket tables
// through it in binary batches of some hundred sockets. Reading the same
// tables as /proc/net text costs a read per page and a walk more per table.
class SocketDiagnostics {
 public:
  SocketDiagnostics() : socket_(socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_SOCK_DIAG)) {}

  // Appends the local port of every socket the dump request of this type
  // asks for; false when the kernel refuses or its answer is broken.
  template <typename Request>
  bool AppendPorts(uint16_t type, const Request& request, std::vector<std::string>& ports) {
    if (socket_.get() < 0) return false;
    struct {
      nlmsghdr header;
      Request body;
    } message{{sizeof message, type, NLM_F_REQUEST | NLM_F_DUMP, ++sequence_, 0}, request};
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    ssize_t sent;
    do sent = sendto(socket_.get(), &message, sizeof message, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel);
    while (sent < 0 && errno == EINTR);
    return sent == static_cast<ssize_t>(sizeof message) && ReadDump(type, ports);
  }

 private:
  // Reads batches until the dump's end; each message is one socket.
  bool ReadDump(uint16_t type, std::vector<std::string>& ports) {
    for (;;) {
      const ssize_t received = recv(socket_.get(), batch_, sizeof batch_, 0);
      if (received < 0 && errno == EINTR) continue;
      if (received <= 0) return false;
      const size_t length = static_cast<size_t>(received);
      for (size_t offset = 0; offset < length;) {
        nlmsghdr header;
        if (length - offset < sizeof header) return false;
        std::memcpy(&header, batch_ + offset, sizeof header);
        if (header.nlmsg_len < sizeof header || header.nlmsg_len > length - offset) return false;
        if (header.nlmsg_seq == sequence_) {
          // The end; an error code after it means the dump broke off.
          if (header.nlmsg_type == NLMSG_DONE) return !DumpBrokeOff(header, offset);
          if (header.nlmsg_type != type) return false;
          inet_diag_msg socketInfo;
          if (header.nlmsg_len < NLMSG_LENGTH(sizeof socketInfo)) return false;
          std::memcpy(&socketInfo, batch_ + offset + NLMSG_HDRLEN, sizeof socketInfo);
          ports.push_back(std::to_string(ntohs(socketInfo.id.idiag_sport)));
        }
        offset += NLMSG_ALIGN(header.nlmsg_len);
      }
    }
  }

  bool DumpBrokeOff(const nlmsghdr& done, size_t offset) const {
    int error = 0;
    if (done.nlmsg_len >= NLMSG_LENGTH(sizeof error)) std::memcpy(&error, batch_ + offset + NLMSG_HDRLEN, sizeof error);
    return error < 0;
  }

  FileDescriptor socket_;
  uint32_t sequence_ = 0;
  // The kernel fills at most about 32 KiB per batch, some 250 sockets.
  alignas(nlmsghdr) char batch_[1 << 15];
};

// The ports, or nothing when the kernel refused or broke off.
using NetlinkPorts = std::optional<std::vector<std::string>>;

// Every state a socket in /proc/net's tables can be in, from established (1)
// to a connection request (12). Newer kernels also give sockets that are bound
// but neither listening nor connected (13), which the tables leave out.
constexpr uint32_t kTableStates = (1u << 13) - 1;

// Every TCP socket of both families. The older request form asks for both
// at once, so the kernel walks its TCP tables once instead of once per family.
NetlinkPorts ProbeTcpThroughNetlink() {
  std::vector<std::string> ports;
  inet_diag_req request{};
  request.idiag_states = kTableStates;
  if (!SocketDiagnostics().AppendPorts(TCPDIAG_GETSOCK, request, ports)) return std::nullopt;
  return ports;
}

// Every UDP socket, IPv4 then IPv6; UDP has only the per-family form.
NetlinkPorts ProbeUdpThroughNetlink() {
  std::vector<std::string> ports;
  SocketDiagnostics diagnostics;
  for (const uint8_t family : {AF_INET, AF_INET6}) {
    inet_diag_req_v2 request{};
    request.sdiag_family = family;
    request.sdiag_protocol = IPPROTO_UDP;
    request.idiag_states = kTableStates;
    if (!diagnostics.AppendPorts(SOCK_DIAG_BY_FAMILY, request, ports)) return std::nullopt;
  }
  return ports;
}

// TCP then UDP: the sockets /proc/net's tables hold. Read one after the
// other, on the window's one thread, as everything else is.
NetlinkPorts ProbeThroughNetlink() {
  NetlinkPorts ports = ProbeTcpThroughNetlink();
  if (!ports) return std::nullopt;
  NetlinkPorts udp = ProbeUdpThroughNetlink();
  if (!udp) return std::nullopt;
  ports->insert(ports->end(), std::make_move_iterator(udp->begin()), std::make_move_iterator(udp->end()));
  return ports;
}

std::vector<std::string> ReadSocketTables(const std::string& folder) {
  std::vector<std::string> ports;
  for (const char* table : {"tcp", "tcp6", "udp", "udp6"}) {
    const std::string path = folder + "/" + table;
    // A kernel without IPv6 has no tcp6 or udp6.
    if (access(path.c_str(), F_OK) != 0 && errno == ENOENT) continue;
    for (std::string& port : ParseProcNetSockets(ReadWholeFile(path))) ports.push_back(std::move(port));
  }
  return ports;
}

}  // namespace

// Some sandboxes refuse netlink, or its UDP half: the tables in the folder
// then give the same ports, more slowly. Either source answers whole.
std::vector<std::string> ProbeUsedPorts(const std::string& systemDirectory) {
  if (NetlinkPorts ports = ProbeThroughNetlink()) return std::move(*ports);
  return ReadSocketTables(systemDirectory);
}

namespace {

class SpawnFileActions {
 public:
  SpawnFileActions() { posix_spawn_file_actions_init(&actions_); }
  SpawnFileActions(const SpawnFileActions&) = delete;
  SpawnFileActions& operator=(const SpawnFileActions&) = delete;
  ~SpawnFileActions() { posix_spawn_file_actions_destroy(&actions_); }
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

[[noreturn]] void ThrowSystemError(const std::string& what, int errorNumber = errno) {
  throw std::runtime_error(SystemErrorMessage(what, errorNumber));
}

// The file a path names, through any symbolic links, so that replacing it
// keeps the links.
std::string ResolvedPath(const std::string& path) {
  char resolved[PATH_MAX];
  if (!realpath(path.c_str(), resolved)) ThrowSystemError("Cannot find \"" + path + "\"");
  return resolved;
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The file a replacement is written to before it takes the original's
// place. Its errors are reported against the file it is to replace, with the
// temporary file as the detail: a full disk is the config's problem.
class TemporaryFile {
 public:
  TemporaryFile(const std::string& path, const std::string& target)
      : path_(path), tempPath_(target + ".XXXXXX"), file_(mkostemp(tempPath_.data(), O_CLOEXEC)) {
    if (file_.get() < 0) ThrowSystemError("Cannot create a temporary file beside \"" + path + "\"");
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  // Removed unless it has taken the original's place.
  ~TemporaryFile() {
    if (!renamed_) unlink(tempPath_.c_str());
  }

  void Write(std::string_view contents) {
    while (!contents.empty()) {
      const ssize_t written = write(file_.get(), contents.data(), contents.size());
      if (written < 0 && errno == EINTR) continue;
      if (written < 0) Fail("Cannot write");
      contents.remove_prefix(static_cast<size_t>(written));
    }
  }

  // The original's owner, permissions and extended attributes. The owner
  // first: a change of owner clears the set-id bits and file capabilities.
  void KeepAttributesOf(const std::string& original, const struct stat& status) {
    // Only the superuser may hand a file to another owner; anyone else keeps
    // their own files, which are the only ones they could own here anyway.
    if (fchown(file_.get(), status.st_uid, status.st_gid) != 0 && errno != EPERM) Fail("Cannot set the owner of");
    if (fchmod(file_.get(), status.st_mode & 07777) != 0) Fail("Cannot set the permissions of");
    CopyExtendedAttributes(original);
  }

  void CloseAndRename(const std::string& target) {
    if (fsync(file_.get()) != 0) Fail("Cannot flush");
    if (file_.Close() != 0) Fail("Cannot write");
    if (rename(tempPath_.c_str(), target.c_str()) != 0) Fail("Cannot replace");
    renamed_ = true;
  }

 private:
  // POSIX ACLs, security labels and user attributes: every one the file has
  // and this process may read. One that cannot be set stops the replacement.
  void CopyExtendedAttributes(const std::string& original) {
    std::string names;
    if (!ReadSized([&](char* buffer, size_t size) { return listxattr(original.c_str(), buffer, size); }, names)) {
      if (errno == ENOTSUP) return;
      ThrowSystemError("Cannot read the extended attributes of \"" + path_ + "\"");
    }
    // The names, each ended by a NUL.
    std::string value;
    for (size_t at = 0, end; (end = names.find('\0', at)) != std::string::npos; at = end + 1) {
      const char* name = names.c_str() + at;
      const auto get = [&](char* buffer, size_t size) { return getxattr(original.c_str(), name, buffer, size); };
      if (!ReadSized(get, value)) {
        // Removed since the list was read.
        if (errno == ENODATA) continue;
        ThrowSystemError("Cannot read the extended attribute \"" + std::string(name) + "\" of \"" + path_ + "\"");
      }
      if (fsetxattr(file_.get(), name, value.data(), value.size(), 0) != 0)
        Fail("Cannot copy the extended attribute \"" + std::string(name) + "\" of");
    }
  }

  // Reads a value of unknown size: asks its size, then reads it, again when
  // it grew in between. False, with errno set, on failure.
  template <typename Read>
  static bool ReadSized(Read read, std::string& value) {
    for (;;) {
      const ssize_t size = read(nullptr, 0);
      if (size < 0) return false;
      value.resize(static_cast<size_t>(size));
      if (size == 0) return true;
      const ssize_t got = read(value.data(), value.size());
      if (got >= 0) {
        value.resize(static_cast<size_t>(got));
        return true;
      }
      if (errno != ERANGE) return false;
    }
  }

  [[noreturn]] void Fail(const std::string& what) const {
    throw std::runtime_error(SystemErrorMessage(what + " \"" + path_ + "\"", errno) + " (temporary file \"" +
                             tempPath_ + "\")");
  }

  std::string path_;
  std::string tempPath_;
  FileDescriptor file_;
  bool renamed_ = false;
};

void SyncDirectory(const std::string& directory) {
  FileDescriptor dir(open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) fsync(dir.get());
}

}  // namespace

void ReplaceFileContents(const std::string& path, std::string_view contents) {
  const std::string target = ResolvedPath(path);
  struct stat original;
  if (stat(target.c_str(), &original) != 0) ThrowSystemError("Cannot read \"" + path + "\"");
  // Replacing by rename needs only the folder's permission; a file the user
  // may not write must stay unwritten.
  if (access(target.c_str(), W_OK) != 0) ThrowSystemError("Cannot write \"" + path + "\"");

  TemporaryFile temporary(path, target);
  temporary.Write(contents);
  temporary.KeepAttributesOf(target, original);
  temporary.CloseAndRename(target);
  SyncDirectory(DirectoryOf(target));
}

CommandResult RunHiddenAndWait(const Command& command) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(command.program.c_str()));
  for (const std::string& argument : command.arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) ThrowSystemError("Cannot start " + DescribeCommand(command));
  FileDescriptor readEnd(ends[0]);
  FileDescriptor writeEnd(ends[1]);
  SpawnFileActions actions;
  posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(actions.get(), writeEnd.get(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(actions.get(), writeEnd.get(), STDERR_FILENO);
  pid_t pid;
  const int error = posix_spawn(&pid, command.program.c_str(), actions.get(), nullptr, argv.data(), environ);
  if (error != 0) ThrowSystemError("Cannot start " + DescribeCommand(command), error);
  // The end comes once the command, and whatever it started with its
  // output, have closed their copies.
  writeEnd.Close();

  CommandResult result;
  char buffer[4096];
  int readError = 0;
  for (;;) {
    const ssize_t count = read(readEnd.get(), buffer, sizeof buffer);
    if (count > 0) {
      result.output.append(buffer, static_cast<size_t>(count));
    } else if (count == 0 || errno != EINTR) {
      if (count < 0) readError = errno;
      break;
    }
  }
  // Closed before the wait: a command still writing then ends instead of
  // blocking on a pipe nobody reads.
  readEnd.Close();

  int status;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) ThrowSystemError("Cannot wait for " + DescribeCommand(command));
  if (readError != 0) ThrowSystemError("Cannot read the output of " + DescribeCommand(command), readError);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

bool IsFileExit(const std::string& strFileName) {
  struct stat status;
  return stat(strFileName.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

size_t KnownFileSize(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 ? static_cast<size_t>(status.st_size) : 0;
}
