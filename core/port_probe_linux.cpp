// The used-port probe on Linux: the kernel's socket tables through its
// socket-diagnostics netlink interface, or as /proc/net text where netlink is
// refused.
#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "file_io.h"
#include "port_probe.h"
#include "posix_support.h"

std::string SystemDirectory() { return "/proc/net"; }

namespace {

// A socket-diagnostics netlink socket: the kernel hands out its socket tables
// through it in binary batches of some hundred sockets. Reading the same
// tables as /proc/net text costs a read per page and a walk more per table.
class SocketDiagnostics {
 public:
  SocketDiagnostics() : socket_(socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_SOCK_DIAG)) {}

  // Appends the local port of every socket the dump request of this type
  // asks for; false when the kernel refuses or its answer is broken.
  template <typename Request>
  bool AppendPorts(uint16_t type, const Request& request, std::vector<int>& ports) {
    return Dump(type, request, [&](const inet_diag_msg& socket) { ports.push_back(ntohs(socket.id.idiag_sport)); });
  }

  // Calls onSocket with each socket the dump request of this type asks for;
  // false when the kernel refuses or its answer is broken.
  template <typename Request, typename OnSocket>
  bool Dump(uint16_t type, const Request& request, OnSocket onSocket) {
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
    return sent == static_cast<ssize_t>(sizeof message) && ReadDump(type, onSocket);
  }

 private:
  // Reads batches until the dump's end; each message is one socket.
  template <typename OnSocket>
  bool ReadDump(uint16_t type, OnSocket onSocket) {
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
          onSocket(socketInfo);
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
using NetlinkPorts = std::optional<std::vector<int>>;

// Every state a socket in /proc/net's tables can be in, from established (1)
// to a connection request (12). Newer kernels also give sockets that are bound
// but neither listening nor connected (13), which the tables leave out.
constexpr uint32_t kTableStates = (1u << 13) - 1;

// Every TCP socket of both families. The older request form asks for both
// at once, so the kernel walks its TCP tables once instead of once per family.
NetlinkPorts ProbeTcpThroughNetlink() {
  std::vector<int> ports;
  inet_diag_req request{};
  request.idiag_states = kTableStates;
  if (!SocketDiagnostics().AppendPorts(TCPDIAG_GETSOCK, request, ports)) return std::nullopt;
  return ports;
}

// Every UDP socket, IPv4 then IPv6; UDP has only the per-family form.
NetlinkPorts ProbeUdpThroughNetlink() {
  std::vector<int> ports;
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

// The TCP sockets of both families in the LISTEN state: a handful, whatever
// the machine's load.
std::optional<std::vector<ListeningSocket>> ListenersThroughNetlink() {
  std::vector<ListeningSocket> listeners;
  inet_diag_req request{};
  request.idiag_states = 1u << TCP_LISTEN;
  if (!SocketDiagnostics().Dump(TCPDIAG_GETSOCK, request, [&](const inet_diag_msg& socket) {
        listeners.push_back({ntohs(socket.id.idiag_sport), socket.idiag_inode});
      }))
    return std::nullopt;
  return listeners;
}

// TCP then UDP: the sockets /proc/net's tables hold, in the same order.
NetlinkPorts ProbeThroughNetlink() {
  NetlinkPorts ports = ProbeTcpThroughNetlink();
  if (!ports) return std::nullopt;
  NetlinkPorts udp = ProbeUdpThroughNetlink();
  if (!udp) return std::nullopt;
  ports->insert(ports->end(), udp->begin(), udp->end());
  return ports;
}

// The ports the parser finds in each of the tables in the folder, in order.
template <typename Parse>
std::vector<int> ReadSocketTables(const std::string& folder, std::initializer_list<const char*> tables, Parse parse) {
  std::vector<int> ports;
  for (const char* table : tables) {
    const std::string path = folder + "/" + table;
    // A kernel without IPv6 has no tcp6 or udp6.
    if (access(path.c_str(), F_OK) != 0 && errno == ENOENT) continue;
    for (const int port : parse(ReadWholeFile(path))) ports.push_back(port);
  }
  return ports;
}

}  // namespace

// Some sandboxes refuse netlink, or its UDP half: the tables in the folder
// then give the same ports, more slowly. Either source answers whole.
std::vector<int> ProbeUsedPorts(const std::string& systemDirectory, std::chrono::milliseconds,
                                const std::function<void()>&) {
  if (NetlinkPorts ports = ProbeThroughNetlink()) return std::move(*ports);
  return ReadSocketTables(systemDirectory, {"tcp", "tcp6", "udp", "udp6"}, ParseProcNetSockets);
}

// The tables in /proc/net name no inode here: who holds a socket is then not
// known.
std::vector<ListeningSocket> ListeningSockets() {
  if (auto listeners = ListenersThroughNetlink()) return std::move(*listeners);
  std::vector<ListeningSocket> listeners;
  for (const int port : ReadSocketTables(SystemDirectory(), {"tcp", "tcp6"}, ParseProcNetListeners))
    listeners.push_back({port, 0});
  return listeners;
}
