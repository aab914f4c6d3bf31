// What only the POSIX side does: spawning and replacing files.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

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

// The command reads nothing, even while this program has input waiting.
TEST(RunHiddenAndWait, InputIsEmpty) {
  TempDir dir;
  WriteFile(dir / "typed", "typed");
  WriteFile(dir / "reader", "#!/bin/sh\ncat\n");
  std::filesystem::permissions(dir / "reader", std::filesystem::perms(0755));
  const int input = dup(STDIN_FILENO);
  ASSERT_TRUE(std::freopen((dir / "typed").c_str(), "r", stdin));
  const std::string read = RunHiddenAndWait({dir / "reader", {}}).output;
  dup2(input, STDIN_FILENO);
  close(input);
  EXPECT_EQ(read, "");
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
