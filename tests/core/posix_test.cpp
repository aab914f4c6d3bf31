// What only the POSIX side does: the socket tables, spawning, replacing files.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstddef>
#include <filesystem>
#include <map>
#include <utility>
#include <thread>

#include "hidden_command.h"
#include "listen_file.h"
#include "port_probe.h"
#include "posix_support.h"
#include "test_support.h"

namespace {

using Ports = std::vector<std::string>;

// The probe on a thread that may not open netlink sockets, as in sandboxes
// that refuse them: a seccomp filter holds for its thread alone.
Ports ProbeWithoutNetlink(const std::string& folder) {
  Ports ports{"no seccomp filter"};
  std::thread([&] {
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_socket, 0, 3),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[0])),  // low half, little-endian
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AF_NETLINK, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EACCES),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0)
      ports = ProbeUsedPorts(folder);
  }).join();
  return ports;
}

// Tables in order, a missing one (a kernel without IPv6) skipped.
TEST(ProbeUsedPorts, ReadsTheFolderTablesWhereNetlinkIsRefused) {
  TempDir dir;
  const std::string header = "  sl  local_address rem_address   st\n";
  WriteFile(dir / "tcp", header + "   0: 0100007F:0050 00000000:0000 0A\n   1: 0100007F:0050 0100007F:9C40 01\n");
  WriteFile(dir / "tcp6", header + "   0: 00000000000000000000000000000000:1F90 00000000000000000000000000000000:0000 0A\n");
  WriteFile(dir / "udp", header + "   0: 00000000:0035 00000000:0000 07\n");
  EXPECT_EQ(ProbeWithoutNetlink(dir.path().string()), (Ports{"80", "80", "8080", "53"}));
}

// An IPv4 socket of a test, closed when it goes.
struct Socket {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  ~Socket() { close(fd); }
  std::string port() const {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return std::to_string(ntohs(address.sin_port));
  }
};

// Both sources find the sockets this test opens as often as they are there:
// the listener's port twice once a connection waits on it. A socket only
// bound is in neither source.
TEST(ProbeUsedPorts, BothSourcesFindTheSocketsOpenHere) {
  const Listener tcp4(AF_INET), tcp6(AF_INET6), udp4(AF_INET, SOCK_DGRAM), udp6(AF_INET6, SOCK_DGRAM);
  const Socket client, bound;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(bound.fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  address.sin_port = htons(static_cast<uint16_t>(tcp4.port()));
  ASSERT_EQ(connect(client.fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

  std::map<std::string, long> expected;
  for (const int port : {tcp4.port(), tcp4.port(), tcp6.port(), udp4.port(), udp6.port()})
    ++expected[std::to_string(port)];
  ++expected[client.port()];
  expected.emplace(bound.port(), 0);
  for (const auto& [source, ports] : {std::pair<const char*, Ports>{"netlink", ProbeUsedPorts(SystemDirectory())},
                                      {"tables", ProbeWithoutNetlink(SystemDirectory())}}) {
    SCOPED_TRACE(source);
    for (const auto& [port, times] : expected) EXPECT_EQ(std::count(ports.begin(), ports.end(), port), times) << port;
  }
}

TEST(RunHiddenAndWait, StdinIsEmpty) {
  TempDir dir;
  const std::string script = dir / "reader";
  WriteExecutable(script, "#!/bin/sh\ncat > \"$(dirname \"$0\")/input\"\n");
  RunHiddenAndWait({script, {}});
  EXPECT_EQ(ReadFile(dir / "input"), "");
}

TEST(RunHiddenAndWait, MissingProgramThrowsAtOnce) {
  TempDir dir;
  const std::string missing = dir / "no such program";
  try {
    RunHiddenAndWait({missing, {"-k", "start"}});
    FAIL() << "no error";
  } catch (const std::runtime_error& error) {
    const std::string message = error.what();
    EXPECT_NE(message.find(missing), std::string::npos) << message;
    EXPECT_NE(message.find("No such file"), std::string::npos) << message;
  }
}

TEST(RewriteListenLines, KeepsPermissionsAndLinks) {
  TempDir dir;
  const std::string conf = dir / "httpd.conf";
  WriteFile(conf, "Listen 80\n");
  std::filesystem::permissions(conf, std::filesystem::perms(0640));
  std::filesystem::create_symlink(conf, dir / "link.conf");

  RewriteListenLines(dir / "link.conf", "81");
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.conf"));
  EXPECT_EQ(ReadFile(conf), "Listen 81\n");
  EXPECT_EQ(std::filesystem::status(conf).permissions(), std::filesystem::perms(0640));
  EXPECT_EQ(FileNames(dir.path()), (std::vector<std::string>{"httpd.conf", "link.conf"}));
}

// A write that fails half-way (here the file size limit) must leave the
// original as it was and no temporary file behind.
TEST(RewriteListenLines, FailedWriteLeavesTheOriginalUntouched) {
  TempDir dir;
  const std::string conf = dir / "httpd.conf";
  const std::string original = "Listen 80\n" + std::string(8192, '#') + "\n";
  WriteFile(conf, original);

  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const rlimit limit{4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, SIG_IGN);
    try {
      RewriteListenLines(conf, "81");
    } catch (const std::runtime_error& error) {
      _exit(std::string(error.what()).find("File too large") != std::string::npos ? 0 : 2);
    }
    _exit(1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
  EXPECT_EQ(ReadFile(conf), original);
  EXPECT_EQ(FileNames(dir.path()), std::vector<std::string>{"httpd.conf"});
}

}  // namespace
