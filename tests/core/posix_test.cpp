// Replacing httpd.conf on POSIX systems.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>
#include <thread>

#include "file_io.h"
#include "test_support.h"

namespace {

using Names = std::vector<std::string>;

// What a change that went well leaves: the file a symbolic link names replaced, keeping its owner, mode (the
// set-group-ID bit too) and extended attributes; its other name keeps the old contents; the kept original is gone.
TEST(FileReplacement, KeepsTheFileItsLinksAndAttributes) {
  TempDir dir;
  const std::string conf = dir / "httpd.conf";
  WriteFile(conf, "Listen 80\n");
  ASSERT_TRUE(getuid() != 0 || chown(conf.c_str(), 65534, 65534) == 0);
  std::filesystem::permissions(conf, std::filesystem::perms(02640));
  std::filesystem::create_symlink(conf, dir / "link");
  std::filesystem::create_hard_link(conf, dir / "other name");
  const int attributes = setxattr(conf.c_str(), "user.portcfg", "kept", 4, 0) == 0 ? 0 : errno;
  ASSERT_TRUE(attributes == 0 || attributes == ENOTSUP) << std::strerror(attributes);
  struct stat before, after;
  stat(conf.c_str(), &before);
  FileReplacement file(dir / "link", "Listen 80\n", "Listen 81\n");
  file.Place();
  file.Commit();
  stat(conf.c_str(), &after);
  char attribute[8] = "none";
  getxattr(conf.c_str(), "user.portcfg", attribute, sizeof attribute);
  EXPECT_EQ(ReadWholeFile(conf) + ReadWholeFile(dir / "other name"), "Listen 81\nListen 80\n");
  EXPECT_EQ(FileNames(dir.path()), (Names{"httpd.conf", "link", "other name"}));
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link"));
  EXPECT_EQ(after.st_mode, before.st_mode);
  EXPECT_EQ(after.st_uid, before.st_uid);
  if (attributes == ENOTSUP) GTEST_SKIP() << "the file system here holds no user attributes";
  EXPECT_STREQ(attribute, "kept");
}

// A failed replace leaves the file as it was, no temporary file, and says why. Root replaces as nobody.
TEST(FileReplacement, FailureLeavesTheFileAsItWas) {
  rlimit fileSize;
  getrlimit(RLIMIT_FSIZE, &fileSize);
  std::signal(SIGXFSZ, SIG_IGN);
  const std::pair<const char*, std::function<void(const TempDir&)>> cases[] = {
      {"Cannot write \"*/httpd.conf\": Permission denied",
       [](const TempDir& dir) { chmod((dir / "httpd.conf").c_str(), 0444); }},
      {"Cannot create a temporary file beside \"*/httpd.conf\": Permission denied",
       [](const TempDir& dir) { chmod(dir.path().c_str(), 0555); }},
      {"Cannot write \"*/httpd.conf\": File too large (temporary file \"*/httpd.conf.after-change\")",
       [&](const TempDir&) {
         const rlimit full{4096, fileSize.rlim_max};
         setrlimit(RLIMIT_FSIZE, &full);
       }},
      {"Cannot find \"*/httpd.conf\": No such file or directory",
       [](const TempDir& dir) { std::filesystem::remove(dir / "httpd.conf"); }},
  };
  const std::string original = "Listen 80\n" + std::string(8192, '#') + "\n";
  for (const auto& [message, arrange] : cases) {
    SCOPED_TRACE(message);
    TempDir dir;
    WriteFile(dir / "httpd.conf", original);
    ASSERT_TRUE(getuid() != 0 || (chown(dir.path().c_str(), 65534, 65534) == 0 &&
                                  chown((dir / "httpd.conf").c_str(), 65534, 65534) == 0));
    arrange(dir);
    const Names names = FileNames(dir.path());
    std::string error = "no error";
    // A raw system call changes who runs for the calling thread alone.
    std::thread([&] {
      if (getuid() == 0) syscall(SYS_setresuid, 65534, 65534, 65534);
      try {
        FileReplacement(dir / "httpd.conf", original, "Listen 81\n" + original).Place();
      } catch (const std::runtime_error& failure) {
        error = failure.what();
      }
    }).join();
    setrlimit(RLIMIT_FSIZE, &fileSize);
    chmod(dir.path().c_str(), 0755);
    EXPECT_TRUE(Matches(error, message)) << error;
    EXPECT_EQ(FileNames(dir.path()), names);
    EXPECT_EQ(ReadFileIfAny(dir / "httpd.conf"), names.empty() ? "" : original);
  }
}

}  // namespace
