// The core's Windows side where only Windows shows it: starting a program,
// the used-port probe's batch file, replacing a file.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>

#include "file_io.h"
#include "hidden_command.h"
#include "windows_kit.h"

namespace {

using Strings = std::vector<std::string>;

// Run as the server's commands are, from a path with a space in it: quoted,
// or the system would start the Apache.exe beside it. The stand-in records
// only after a pause, so a caller that did not wait finds no record yet.
TEST(RunHiddenAndWait, TheCommandRunsAsGivenAndItsEndIsWaitedFor) {
  TempDir dir;
  const std::string server = dir / "Apache 2.exe";
  std::filesystem::copy_file(BesideMe("stand_in_server.exe"), server);
  std::filesystem::copy_file(BesideMe("stand_in_server.exe"), dir / "Apache.exe");
  const ScopedEnvironment slow("STAND_IN_SLEEP_MS", "700");
  EXPECT_EQ(RunHiddenAndWait({server, {"-k", "install"}}).exitCode, 0);
  EXPECT_EQ(ReadFile(server + ".log"), "<-k> <install>\n");
}

// Wine starts our netstat rather than its own: the tests run with
// WINEDLLOVERRIDES="netstat.exe=n".
TEST_F(DriveC, TheProbeRunsNetstatThroughItsBatchFileLockedWhileItRuns) {
  const StandIns machine("C:\\port test", nullptr);
  WriteFile("c:\\testport.bat", "@echo a much longer batch file left by an earlier run\r\n");
  WriteFile("c:\\netstat.log", "  TCP    0.0.0.0:1             0.0.0.0:0              LISTENING\r\n");

  EXPECT_EQ(ProbeUsedPorts(SystemDirectory()), (Strings{"80", "8080", "445"}));
  EXPECT_EQ(ReadFile("c:\\testport.bat"), "C:\\windows\\system32\\netstat.exe -na > c:\\netstat.log\r\n");
  // While the batch ran, nobody could change or delete it: sharing violations.
  const std::string log = ReadFile("c:\\netstat.log");
  EXPECT_NE(log.find("\nopen for writing: 32\r\ndelete: 32\r\n"), std::string::npos) << log;
}

// Runs a command of the host (Wine's Z: drive) and waits until done() says
// it has done its work: Wine cannot wait for a host program's end.
bool OnHost(const char* program, std::string commandLine, const std::function<bool()>& done) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessA(program, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started))
    return false;
  CloseHandle(started.hProcess);
  CloseHandle(started.hThread);
  for (int waited = 0; waited < 5000 && !done(); waited += 10) Sleep(10);
  return done();
}

// A symbolic link beside its target, named by its name, gone with the
// object. Wine 8 answers CreateSymbolicLink without making a link, and its
// DeleteFile deletes what a link names: its links are the host's, made and
// removed there.
class SymbolicLink {
 public:
  SymbolicLink(const std::string& link, const std::string& target) : link_(link) {
    if (CreateSymbolicLinkA(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) && made())
      return;
    using UnixName = char*(CDECL*)(const wchar_t*);
    const auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!unixName) return;
    char* const name = unixName(std::filesystem::path(link).wstring().c_str());
    hostName_ = name;
    HeapFree(GetProcessHeap(), 0, name);
    OnHost("Z:\\bin\\ln", "ln -s " + target + " " + hostName_, [this] { return made(); });
  }
  SymbolicLink(const SymbolicLink&) = delete;
  SymbolicLink& operator=(const SymbolicLink&) = delete;
  ~SymbolicLink() {
    const std::filesystem::path link(link_);
    const auto gone = [&] {
      const std::vector<std::string> names = FileNames(link.parent_path());
      return std::count(names.begin(), names.end(), link.filename().string()) == 0;
    };
    if (!hostName_.empty()) OnHost("Z:\\bin\\rm", "rm " + hostName_, gone);
  }
  bool made() const { return GetFileAttributesA(link_.c_str()) != INVALID_FILE_ATTRIBUTES; }

 private:
  const std::string link_;
  std::string hostName_;
};

// A file the user may not write stays as it was, reported with the system's
// reason; one replaced keeps its attributes. Either way no other file is left.
// As on Linux, a symbolic link has the file it names replaced and stays a
// link; a hard link is split, its other name keeping the old contents.
TEST(ReplaceFileContents, LeavesAnUnwritableFileAndKeepsTheAttributesAndLinks) {
  constexpr DWORD kNotHeld = ~0u;
  const struct {
    DWORD attributes;
    DWORD heldSharing;  // another program holds it open, sharing this with others
    const char* link;   // httpd.conf is a "symbolic" or "hard" link to real.conf
    bool writable;
  } cases[] = {
      {FILE_ATTRIBUTE_READONLY, kNotHeld, "", false},
      {FILE_ATTRIBUTE_ARCHIVE, FILE_SHARE_READ, "", false},
      {FILE_ATTRIBUTE_ARCHIVE, FILE_SHARE_READ | FILE_SHARE_WRITE, "", false},
      {FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE, kNotHeld, "", true},
      {FILE_ATTRIBUTE_ARCHIVE, kNotHeld, "symbolic", true},
      {FILE_ATTRIBUTE_ARCHIVE, kNotHeld, "hard", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.link) + " link, attributes " + std::to_string(c.attributes));
    TempDir dir;
    const std::string conf = dir / "httpd.conf", real = dir / "real.conf";
    const std::string link = c.link;
    const std::string& file = link.empty() ? conf : real;
    WriteFile(file, "Listen 80\r\n");
    SetFileAttributesA(file.c_str(), c.attributes);
    std::optional<SymbolicLink> symbolic;
    if (link == "symbolic") {
      ASSERT_TRUE(symbolic.emplace(conf, "real.conf").made());
    } else if (link == "hard") {
      ASSERT_TRUE(CreateHardLinkA(conf.c_str(), real.c_str(), nullptr));
    }
    const HANDLE holder = c.heldSharing != kNotHeld ? CreateFileA(conf.c_str(), GENERIC_READ, c.heldSharing, nullptr,
                                                                  OPEN_EXISTING, 0, nullptr)
                                                    : nullptr;
    std::string error;
    try {
      ReplaceFileContents(conf, "Listen 81\r\n");
    } catch (const std::runtime_error& thrown) {
      error = thrown.what();
    }
    if (holder) CloseHandle(holder);
    EXPECT_EQ(ReadFile(conf), c.writable ? "Listen 81\r\n" : "Listen 80\r\n");
    if (c.writable) {
      EXPECT_EQ(error, "");
    } else {
      EXPECT_EQ(error.rfind("Cannot write \"" + conf + "\": ", 0), 0u) << error;
      EXPECT_NE(error.find("(error "), std::string::npos) << error;
    }
    // Only a replaced file could have lost them.
    if (c.writable) {
      EXPECT_EQ(GetFileAttributesA(file.c_str()) & c.attributes, c.attributes);
    }
    const Strings names = link.empty() ? Strings{"httpd.conf"} : Strings{"httpd.conf", "real.conf"};
    EXPECT_EQ(FileNames(dir.path()), names);
    // A link kept reads as its target; a split one keeps the old contents.
    if (!link.empty()) {
      EXPECT_EQ(ReadFile(real), link == "hard" ? "Listen 80\r\n" : "Listen 81\r\n");
    }
    SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

}  // namespace
