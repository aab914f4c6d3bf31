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
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <map>
#include <thread>
#include <utility>

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

// Every extended attribute of the file, by name.
std::map<std::string, std::string> ExtendedAttributes(const std::string& path) {
  std::map<std::string, std::string> attributes;
  char names[4096], value[4096];
  const ssize_t length = listxattr(path.c_str(), names, sizeof names);
  for (ssize_t at = 0; at < length; at += static_cast<ssize_t>(std::strlen(names + at)) + 1) {
    const ssize_t size = getxattr(path.c_str(), names + at, value, sizeof value);
    attributes[names + at] = std::string(value, static_cast<size_t>(std::max<ssize_t>(size, 0)));
  }
  return attributes;
}

// The ACL "user::rw- user:nobody:r-- group::r-- mask::r-- other::r--" in the
// kernel's format, as setfacl writes it.
constexpr char kAccessAcl[] =
    "\x02\0\0\0" "\x01\0\x06\0\xff\xff\xff\xff" "\x02\0\x04\0\xfe\xff\0\0" "\x04\0\x04\0\xff\xff\xff\xff"
    "\x10\0\x04\0\xff\xff\xff\xff" "\x20\0\x04\0\xff\xff\xff\xff";

TEST(RewriteListenLines, KeepsPermissionsLinksAndExtendedAttributes) {
  TempDir dir;
  const std::string conf = dir / "httpd.conf";
  WriteFile(conf, "Listen 80\n");
  std::filesystem::permissions(conf, std::filesystem::perms(0640));
  if (setxattr(conf.c_str(), "user.portcfg", "kept", 4, 0) != 0 ||
      setxattr(conf.c_str(), "system.posix_acl_access", kAccessAcl, sizeof kAccessAcl - 1, 0) != 0)
    GTEST_SKIP() << "this file system takes no user attributes or ACLs: " << std::strerror(errno);
  std::filesystem::create_symlink(conf, dir / "link.conf");
  const auto permissions = std::filesystem::status(conf).permissions();
  const auto attributes = ExtendedAttributes(conf);
  ASSERT_EQ(attributes.size(), 2u);

  RewriteListenLines(dir / "link.conf", "81");
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.conf"));
  EXPECT_EQ(ReadFile(conf), "Listen 81\n");
  EXPECT_EQ(std::filesystem::status(conf).permissions(), permissions);
  EXPECT_EQ(ExtendedAttributes(conf), attributes);
  EXPECT_EQ(FileNames(dir.path()), (std::vector<std::string>{"httpd.conf", "link.conf"}));
}

// The error RewriteListenLines throws in a child process that first calls
// limit, or what else happened there.
std::string ErrorInChild(const std::string& conf, void (*limit)()) {
  int ends[2];
  if (pipe(ends) != 0) return "no pipe";
  const pid_t child = fork();
  if (child == 0) {
    close(ends[0]);
    limit();
    std::string message = "no error";
    try {
      RewriteListenLines(conf, "81");
    } catch (const std::runtime_error& error) {
      message = error.what();
    }
    _exit(write(ends[1], message.data(), message.size()) < 0);
  }
  close(ends[1]);
  std::string message;
  char buffer[512];
  for (ssize_t count; (count = read(ends[0], buffer, sizeof buffer)) > 0;)
    message.append(buffer, static_cast<size_t>(count));
  close(ends[0]);
  waitpid(child, nullptr, 0);
  return message;
}

struct FailedRewriteCase {
  const char* name;
  // Prepares the file; the reason when this system cannot.
  std::string (*prepare)(const TempDir& dir, const std::string& conf);
  void (*limit)();
  const char* message;  // "C" stands for the file's path
};

// A rewrite that fails half-way leaves the original as it was, no temporary
// file behind, and says which file could not be written, and why.
TEST(RewriteListenLines, FailureLeavesTheOriginalUntouched) {
  const FailedRewriteCase cases[] = {
      {"disk full (the file size limit)", [](const TempDir&, const std::string&) { return std::string(); },
       [] {
         const rlimit limit{4096, 4096};
         setrlimit(RLIMIT_FSIZE, &limit);
         std::signal(SIGXFSZ, SIG_IGN);
       },
       "Cannot write \"C\": File too large (temporary file \"C."},
      {"an attribute this process may not set",
       [](const TempDir& dir, const std::string& conf) -> std::string {
         if (getuid() != 0) return "only the superuser can label a file for an unprivileged process";
         if (setxattr(conf.c_str(), "security.portcfg-test", "label", 5, 0) != 0)
           return std::string("this file system takes no security attributes: ") + std::strerror(errno);
         if (chown(dir.path().c_str(), 65534, 65534) != 0 || chown(conf.c_str(), 65534, 65534) != 0)
           return std::string("cannot hand the file to nobody: ") + std::strerror(errno);
         return {};
       },
       [] {
         // nobody: the file's owner, without the privilege to set security attributes.
         if (setgid(65534) != 0 || setuid(65534) != 0) _exit(3);
       },
       "Cannot copy the extended attribute \"security.portcfg-test\" of \"C\": Operation not permitted "
       "(temporary file \"C."},
  };
  std::string skipped;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string conf = dir / "httpd.conf";
    const std::string original = "Listen 80\n" + std::string(8192, '#') + "\n";
    WriteFile(conf, original);
    if (const std::string reason = c.prepare(dir, conf); !reason.empty()) {
      skipped += std::string(c.name) + ": " + reason + "; ";
      continue;
    }
    std::string expected = c.message;
    for (size_t at; (at = expected.find("\"C")) != std::string::npos;) expected.replace(at + 1, 1, conf);
    const std::string error = ErrorInChild(conf, c.limit);
    EXPECT_EQ(error.rfind(expected, 0), 0u) << error;
    EXPECT_EQ(ReadFile(conf), original);
    EXPECT_EQ(FileNames(dir.path()), std::vector<std::string>{"httpd.conf"});
  }
  if (!skipped.empty()) GTEST_SKIP() << skipped;
}

}  // namespace
