// What only the POSIX side does: the socket tables, spawning, replacing files.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>

#include "hidden_command.h"
#include "listen_file.h"
#include "port_probe.h"
#include "posix_support.h"
#include "test_support.h"

namespace {

using Ports = std::vector<std::string>;

TEST(ProbeUsedPorts, ReadsTheFourTablesInOrder) {
  TempDir dir;
  const std::string header = "  sl  local_address rem_address   st\n";
  WriteFile(dir / "tcp", header + "   0: 0100007F:0050 00000000:0000 0A\n   1: 0100007F:0050 0100007F:9C40 01\n");
  WriteFile(dir / "tcp6", header + "   0: 00000000000000000000000000000000:1F90 00000000000000000000000000000000:0000 0A\n");
  WriteFile(dir / "udp", header + "   0: 00000000:0035 00000000:0000 07\n");
  WriteFile(dir / "udp6", header);
  EXPECT_EQ(ProbeUsedPorts(dir.path().string()), (Ports{"80", "80", "8080", "53"}));

  std::filesystem::remove(dir / "tcp6");
  std::filesystem::remove(dir / "udp6");
  EXPECT_EQ(ProbeUsedPorts(dir.path().string()), (Ports{"80", "80", "53"}));
}

TEST(ProbeUsedPorts, FindsLiveSocketsOfBothFamilies) {
  EXPECT_EQ(SystemDirectory(), "/proc/net");
  const Listener v4(AF_INET), v6(AF_INET6);
  const Ports ports = ProbeUsedPorts(SystemDirectory());
  for (const Listener* listener : {&v4, &v6}) {
    EXPECT_NE(std::find(ports.begin(), ports.end(), std::to_string(listener->port())), ports.end())
        << listener->port();
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
