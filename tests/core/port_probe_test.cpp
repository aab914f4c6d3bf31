// The used ports and the listening check: through netlink and, where that
// is refused, from the kernel's tables in /proc/net.
#include "port_probe.h"

#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>

#include <algorithm>
#include <cstddef>
#include <thread>
#include <tuple>

#include "test_sockets.h"

namespace {

// The calling thread may open no netlink socket from now on, as in sandboxes
// that refuse them; a seccomp filter holds for the thread that sets it.
bool RefuseNetlink() {
  sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_socket, 0, 3),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[0])),  // low half, little-endian
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AF_NETLINK, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EACCES),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  const sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// Every socket is listed as often as it is there, one only bound not at all,
// and only a TCP listener listens. Through netlink the tables are not read.
TEST(ProbeUsedPorts, ListsEverySocketAndOnlyListenersListen) {
  for (const bool refused : {false, true}) {
    SCOPED_TRACE(refused ? "netlink refused" : "netlink");
    std::thread([refused] {
      ASSERT_TRUE(!refused || RefuseNetlink());
      int closed;
      {
        TestSocket tcp4(AF_INET, SOCK_STREAM), tcp6(AF_INET6, SOCK_STREAM), udp4(AF_INET, SOCK_DGRAM),
            udp6(AF_INET6, SOCK_DGRAM), bound(AF_INET, SOCK_STREAM), client(AF_INET, SOCK_STREAM);
        tcp4.Listen();
        tcp6.Listen();
        client.ConnectTo(tcp4.port());
        const auto ports = ProbeUsedPorts(refused ? SystemDirectory() : "/nonexistent");
        // Each port: how often it is listed, and whether it listens.
        const std::tuple<int, long, bool> rows[] = {{tcp4.port(), 2, true},    {tcp6.port(), 1, true},
                                                    {udp4.port(), 1, false},   {udp6.port(), 1, false},
                                                    {client.port(), 1, false}, {bound.port(), 0, false}};
        for (const auto& [port, times, listens] : rows) {
          EXPECT_EQ(std::count(ports.begin(), ports.end(), port), times) << port;
          EXPECT_EQ(IsPortListening(port), listens) << port;
        }
        closed = tcp6.port();
      }
      EXPECT_FALSE(IsPortListening(closed));
    }).join();
  }
}

}  // namespace
