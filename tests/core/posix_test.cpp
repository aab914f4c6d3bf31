// What only the POSIX side does: spawning and replacing files.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <thread>

#include "hidden_command.h"
#include "listen_file.h"
#include "test_support.h"

namespace {

using Names = std::vector<std::string>;

struct StartedCase {
  const char* name;
  const char* script;  // run by sh; "$0.pid" names a process to end afterwards
  std::string output;
};

// A command starts with nothing to read, even while this program has input
// waiting, and with no signal blocked or ignored that this program blocks and
// ignores; its output is read until it has ended, whoever else holds the
// pipe, and kept only up to a limit, of which a box shows little. The wait
// looks at the window often.
TEST(RunHiddenAndWait, StartsCleanAndEndsWithTheCommand) {
  const StartedCase cases[] = {
      {"input", "cat", ""},
      {"signals",
       "for mask in SigBlk SigIgn; do echo $((0x$(sed -n \"s/^$mask:\\t//p\" /proc/self/status) & 0x4003)); done",
       "0\n0\n"},
      {"a process left holding the output", "sleep 30 & echo $! >\"$0.pid\"; echo started", "started\n"},
      {"slow", "sleep 0.3; echo done", "done\n"},
      {"2 MB on one line", "head -c 2000000 /dev/zero | tr '\\0' x", std::string(kKeptOutput, 'x')},
  };
  TempDir dir;
  WriteFile(dir / "typed", "typed");
  const int input = dup(STDIN_FILENO);
  ASSERT_TRUE(std::freopen((dir / "typed").c_str(), "r", stdin));
  sigset_t held, before;
  sigemptyset(&held);
  for (const int signal : {SIGHUP, SIGINT, SIGTERM}) {
    sigaddset(&held, signal);
    std::signal(signal, SIG_IGN);
  }
  pthread_sigmask(SIG_BLOCK, &held, &before);
  for (const StartedCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string script = dir / "command";
    WriteFile(script, "#!/bin/sh\n" + std::string(c.script) + "\n");
    std::filesystem::permissions(script, std::filesystem::perms(0755));
    using Clock = std::chrono::steady_clock;
    const Clock::time_point started = Clock::now();
    Clock::time_point last = started;
    Clock::duration longestGap{};
    const CommandResult result = RunHiddenAndWait({script, {}}, [&] {
      longestGap = std::max(longestGap, Clock::now() - last);
      last = Clock::now();
    });
    EXPECT_EQ(result.output, c.output);
    EXPECT_EQ(result.exitCode, 0);
    // What a box shows of it stays short, a line of 2 MB too.
    EXPECT_LT(DescribeFailure({script, {}}, result).size(), 400u);
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(10));
    EXPECT_LT(longestGap, std::chrono::milliseconds(250));
    const std::string left = ReadFileIfAny(script + ".pid");
    if (!left.empty()) kill(std::stoi(left), SIGKILL);
  }
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  for (const int signal : {SIGHUP, SIGINT, SIGTERM}) std::signal(signal, SIG_DFL);
  dup2(input, STDIN_FILENO);
  close(input);
}

std::string Attribute(const std::string& path, const char* name) {
  char value[256];
  const ssize_t size = getxattr(path.c_str(), name, value, sizeof value);
  return size < 0 ? "none" : std::string(value, static_cast<size_t>(size));
}

// The mode, with the set-group-ID bit, which no ACL carries, and the link are
// kept on any file system; the attributes and the ACL where it takes them.
TEST(RewriteListenLines, KeepsPermissionsLinksAndExtendedAttributes) {
  TempDir dir;
  const std::string conf = dir / "httpd.conf";
  WriteFile(conf, "Listen 80\n");
  std::filesystem::permissions(conf, std::filesystem::perms(02640));
  std::filesystem::create_symlink(conf, dir / "link.conf");
  // The ACL "user::rw- user:nobody:r-- group::r-- mask::r-- other::r--" in the
  // kernel's format, as setfacl writes it.
  const std::string acl(
      "\x02\0\0\0"
      "\x01\0\x06\0\xff\xff\xff\xff"
      "\x02\0\x04\0\xfe\xff\0\0"
      "\x04\0\x04\0\xff\xff\xff\xff"
      "\x10\0\x04\0\xff\xff\xff\xff"
      "\x20\0\x04\0\xff\xff\xff\xff",
      44);
  const bool attributes = setxattr(conf.c_str(), "user.portcfg", "kept", 4, 0) == 0 &&
                          setxattr(conf.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) == 0;
  const auto permissions = std::filesystem::status(conf).permissions();

  RewriteListenLines(dir / "link.conf", "81");
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.conf"));
  EXPECT_EQ(ReadFile(conf), "Listen 81\n");
  EXPECT_EQ(std::filesystem::status(conf).permissions(), permissions);
  EXPECT_EQ(FileNames(dir.path()), (Names{"httpd.conf", "link.conf"}));
  if (!attributes)
    GTEST_SKIP() << "this file system takes no user attributes or ACLs: only the mode and link were kept";
  EXPECT_EQ(Attribute(conf, "user.portcfg"), "kept");
  EXPECT_EQ(Attribute(conf, "system.posix_acl_access"), acl);
}

// A rewrite that fails half-way leaves the original as it was and no temporary
// file behind, and says which file could not be written, and why: the disk
// full (a file size limit, for anyone), or an attribute the rewrite may not
// copy (a label only the superuser can set, on a file it hands to nobody).
TEST(RewriteListenLines, FailureLeavesTheOriginalUntouched) {
  TempDir dir;
  const std::string conf = dir / "httpd.conf";
  const std::string original = "Listen 80\n" + std::string(8192, '#') + "\n";
  WriteFile(conf, original);
  const bool labelled = getuid() == 0 && setxattr(conf.c_str(), "security.portcfg-test", "label", 5, 0) == 0 &&
                        chown(dir.path().c_str(), 65534, 65534) == 0 && chown(conf.c_str(), 65534, 65534) == 0;
  rlimit fileSize;
  getrlimit(RLIMIT_FSIZE, &fileSize);
  std::signal(SIGXFSZ, SIG_IGN);
  std::vector<std::pair<std::string, std::function<void()>>> cases{
      {"Cannot write \"" + conf + "\": File too large",
       [&] {
         const rlimit full{4096, fileSize.rlim_max};
         setrlimit(RLIMIT_FSIZE, &full);
       }},
  };
  // Who the thread runs as: a raw system call changes it for the calling thread alone.
  if (labelled)
    cases.push_back(
        {"Cannot copy the extended attribute \"security.portcfg-test\" of \"" + conf + "\": Operation not permitted",
         [] { syscall(SYS_setresuid, 65534, 65534, 65534); }});
  for (const auto& [message, limit] : cases) {
    std::string error = "no error";
    std::thread([&] {
      limit();
      try {
        RewriteListenLines(conf, "81");
      } catch (const std::runtime_error& failure) {
        error = failure.what();
      }
    }).join();
    setrlimit(RLIMIT_FSIZE, &fileSize);
    EXPECT_EQ(error.rfind(message + " (temporary file \"" + conf + ".", 0), 0u) << error;
    EXPECT_EQ(ReadFile(conf), original);
    EXPECT_EQ(FileNames(dir.path()), Names{"httpd.conf"});
  }
  if (!labelled)
    GTEST_SKIP() << "only the superuser can label a file and hand it to nobody: only a full disk was tried";
}

}  // namespace
