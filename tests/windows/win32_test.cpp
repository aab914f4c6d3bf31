// The core's Windows side where only Windows shows it: starting a program,
// the used-port probe's batch file, replacing a file.
#include <gtest/gtest.h>
#include <windows.h>

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

// A file the user may not write stays as it was, reported with the system's
// reason; one replaced keeps its attributes. Either way no other file is left.
TEST(ReplaceFileContents, LeavesAnUnwritableFileAndKeepsTheAttributes) {
  const struct {
    DWORD attributes;
    bool heldOpen;  // by another program, which lets others only read it
    bool writable;
  } cases[] = {
      {FILE_ATTRIBUTE_READONLY, false, false},
      {FILE_ATTRIBUTE_ARCHIVE, true, false},
      {FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE, false, true},
  };
  for (const auto& c : cases) {
    TempDir dir;
    const std::string conf = dir / "httpd.conf";
    WriteFile(conf, "Listen 80\r\n");
    SetFileAttributesA(conf.c_str(), c.attributes);
    const HANDLE holder =
        c.heldOpen ? CreateFileA(conf.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)
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
      EXPECT_EQ(GetFileAttributesA(conf.c_str()) & c.attributes, c.attributes);
    }
    EXPECT_EQ(FileNames(dir.path()), Strings{"httpd.conf"});
    SetFileAttributesA(conf.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

}  // namespace
