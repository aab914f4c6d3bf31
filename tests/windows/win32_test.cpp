#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>

#include "canned_netstat.h"
#include "failed_change_cases.h"
#include "file_io.h"
#include "hidden_command.h"
#include "listen_file.h"
#include "port_controller.h"
#include "port_probe.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

bool UnderWine() { return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr; }

// One of our stand-in programs, built beside this test program.
std::string Helper(const char* name) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  return (fs::path(self).parent_path() / name).string();
}

std::string RecordOf(const std::string& program) { return ReadFileIfAny(program + ".log"); }

void ExpectThrowsNaming(const std::function<void()>& call, const std::string& name) {
  try {
    call();
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& error) {
    const std::string message = error.what();
    EXPECT_NE(message.find(name), std::string::npos) << message;
    EXPECT_NE(message.find("(error "), std::string::npos) << "no system reason: " << message;
  }
}

// A copy of a stand-in program at a path, removed with its record afterwards;
// a file it replaced comes back.
class PlantedProgram {
 public:
  PlantedProgram(const char* helper, std::string path) : path_(std::move(path)) {
    fs::create_directories(fs::path(path_).parent_path());
    if (fs::exists(path_)) original_ = ReadFile(path_);
    fs::copy_file(Helper(helper), path_, fs::copy_options::overwrite_existing);
    fs::remove(path_ + ".log");
  }
  PlantedProgram(const PlantedProgram&) = delete;
  PlantedProgram& operator=(const PlantedProgram&) = delete;
  ~PlantedProgram() {
    std::error_code ignored;
    fs::remove(path_ + ".log", ignored);
    if (original_)
      WriteFile(path_, *original_);
    else
      fs::remove(path_, ignored);
  }
  std::string Runs() const { return RecordOf(path_); }

 private:
  std::string path_;
  std::optional<std::string> original_;
};

// Tests that write to drive C: run only inside a Wine prefix, never on a
// real machine. There netstat is our stand-in (the tests run with
// WINEDLLOVERRIDES="netstat.exe=n", so Wine starts it rather than its own).
class DriveC : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!UnderWine()) GTEST_SKIP() << "writes to drive C:; runs only in a Wine prefix";
    netstat_.emplace("canned_netstat.exe", SystemDirectory() + "\\netstat.exe");
  }
  std::string NetstatRuns() const { return netstat_->Runs(); }

 private:
  std::optional<PlantedProgram> netstat_;
};

// The installed tree, its configuration written by the test, and a
// C:\Program.exe that an unquoted path of the server program would start.
class InstalledTree : public DriveC {
 protected:
  const ServerTree installed = InstalledServerTree();
  RecordingView view;

  void SetUp() override {
    DriveC::SetUp();
    if (IsSkipped()) return;
    ASSERT_EQ(installed.serverProgram, "C:\\Program Files\\Apache2\\bin\\apache");
    hijacker_.emplace("stand_in_server.exe", "C:\\Program.exe");
    fs::create_directories(fs::path(installed.configFile).parent_path());
  }
  // Only in the prefix: on a real machine this is the server's home.
  void TearDown() override {
    if (!hijacker_) return;
    hijacker_.reset();
    std::error_code ignored;
    fs::remove_all("C:\\Program Files\\Apache2", ignored);
  }
  std::string HijackerRuns() const { return hijacker_->Runs(); }

 private:
  std::optional<PlantedProgram> hijacker_;
};

TEST(SystemDirectory, IsTheWholeSystem32Folder) {
  char windows[MAX_PATH];
  ASSERT_NE(GetWindowsDirectoryA(windows, MAX_PATH), 0u);
  const std::string directory = SystemDirectory();
  EXPECT_EQ(_stricmp(directory.c_str(), (std::string(windows) + "\\system32").c_str()), 0) << directory;
  EXPECT_EQ(directory.find('\0'), std::string::npos);
  EXPECT_TRUE(fs::is_directory(directory));
}

// The stand-in records only after a pause, so a caller that did not wait
// finds no record yet.
TEST(RunHiddenAndWait, EveryArgumentArrivesAsGivenAndTheEndIsWaitedFor) {
  const std::string program = Helper("stand_in_server.exe");
  const Strings arguments = {"-k",        "start",     "two words", "",          "say \"hi\"", "trailing\\",
                             "a\\\\b",    "a\\\"b",    "end\\\\",   "tab\there", "dir\\ with space\\"};
  fs::remove(program + ".log");
  {
    const ScopedEnvironment slow("STAND_IN_SLEEP_MS", "700");
    EXPECT_EQ(RunHiddenAndWait({program, arguments}).exitCode, 0);
  }
  std::string expected;
  for (const std::string& argument : arguments) expected += (expected.empty() ? "<" : " <") + argument + ">";
  EXPECT_EQ(RecordOf(program), expected + "\n");
  fs::remove(program + ".log");
}

TEST(RunHiddenAndWait, MissingProgramIsReportedWithoutWaiting) {
  const std::string absent[] = {Helper("absent"), "C:\\no such folder\\apache"};
  for (const std::string& program : absent) {
    SCOPED_TRACE(program);
    ExpectThrowsNaming([&] { RunHiddenAndWait({program, {"-k", "start"}}); }, "Cannot start \"" + program + "\"");
  }
}

TEST_F(InstalledTree, ServiceCommandsRunTheServerNeverProgramExe) {
  PlantedProgram server("stand_in_server.exe", installed.serverProgram + ".exe");
  // The stand-in is live: an unquoted command line does start it here.
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  char unquoted[] = "C:\\Program Files\\Apache2\\bin\\apache -k start";
  ASSERT_TRUE(CreateProcessA(nullptr, unquoted, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started));
  WaitForSingleObject(started.hProcess, INFINITE);
  CloseHandle(started.hProcess);
  CloseHandle(started.hThread);
  ASSERT_NE(HijackerRuns(), "");
  fs::remove("C:\\Program.exe.log");

  WriteFile(installed.configFile, "ServerRoot \"C:/Program Files/Apache2\"\r\nListen 80\r\n");
  PortController controller(ApplyMode::Setup, view);
  controller.Start();
  EXPECT_EQ(controller.configuredPort(), "80");
  view.portText = "8089";
  controller.RequestChange();

  EXPECT_EQ(server.Runs(), "<-k> <install>\n<-k> <start>\n");
  EXPECT_EQ(HijackerRuns(), "");
  EXPECT_EQ(ReadFile(installed.configFile), "ServerRoot \"C:/Program Files/Apache2\"\r\nListen 8089\r\n");
  EXPECT_EQ(view.calls.back(), "Close");
}

TEST_F(InstalledTree, AFailedChangeIsReportedWithTheFileAsBefore) {
  const ScopedEnvironment taken("STAND_IN_TAKEN_PORT", "8089");
  for (const auto& c : kFailedChangeCases) {
    SCOPED_TRACE(c.name);
    std::optional<PlantedProgram> server;
    if (c.serverInstalled) server.emplace("stand_in_server.exe", installed.serverProgram + ".exe");
    WriteFile(installed.configFile, c.config);
    PortController controller(c.mode, view);
    controller.Start();
    view.portText = "8089";
    EXPECT_EQ(WrongWithRequest(controller, c, installed.serverProgram), "");
    EXPECT_FALSE(controller.applied());
    EXPECT_EQ(ReadFile(installed.configFile), c.config);
    EXPECT_EQ(server ? server->Runs() : "", c.runs);
  }
}

TEST_F(DriveC, ProbeRunsNetstatThroughTheBatchFileAndLeavesBoth) {
  WriteFile("c:\\testport.bat", "@echo a much longer batch file left by an earlier run\r\n");
  WriteFile("c:\\netstat.log", "  TCP    0.0.0.0:1             0.0.0.0:0              LISTENING\r\n");

  EXPECT_EQ(ProbeUsedPorts(SystemDirectory()), (Strings{"80", "445", "8080", "49703", "53", "445"}));
  EXPECT_EQ(ReadFile("c:\\testport.bat"), "C:\\windows\\system32\\netstat.exe -na > c:\\netstat.log\r\n");
  EXPECT_EQ(ReadFile("c:\\netstat.log"), kCannedNetstat);
  // While the batch ran, nobody could change or delete it: sharing violations.
  EXPECT_EQ(NetstatRuns(), "open for writing: error 32\ndelete: error 32\n");
}

struct UnwritableCase {
  const char* name;
  std::function<HANDLE(const std::string&)> makeUnwritable;
};

TEST(ReplaceFileContents, UnwritableFileIsReportedAndLeftUntouched) {
  const UnwritableCase cases[] = {
      {"read-only",
       [](const std::string& path) {
         SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
         return INVALID_HANDLE_VALUE;
       }},
      {"held open by another program",
       [](const std::string& path) {
         return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string conf = dir / "httpd.conf";
    WriteFile(conf, "Listen 80\r\n");
    const DWORD attributes = GetFileAttributesA(conf.c_str());
    const HANDLE holder = c.makeUnwritable(conf);
    ExpectThrowsNaming([&] { ReplaceFileContents(conf, "Listen 81\r\n"); }, conf);
    if (holder != INVALID_HANDLE_VALUE) CloseHandle(holder);
    EXPECT_EQ(ReadFile(conf), "Listen 80\r\n");
    EXPECT_EQ(FileNames(dir.path()), Strings{"httpd.conf"});
    SetFileAttributesA(conf.c_str(), attributes);
  }
}

TEST(ReplaceFileContents, KeepsTheFileAttributes) {
  TempDir dir;
  const std::string conf = dir / "httpd.conf";
  WriteFile(conf, "Listen 80\r\n");
  SetFileAttributesA(conf.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
  ReplaceFileContents(conf, "Listen 81\r\n");
  EXPECT_EQ(ReadFile(conf), "Listen 81\r\n");
  EXPECT_TRUE(GetFileAttributesA(conf.c_str()) & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(FileNames(dir.path()), Strings{"httpd.conf"});
}

TEST(RewriteListenLines, WritesCarriageReturnLineFeed) {
  TempDir dir;
  const std::string conf = dir / "httpd.conf";
  WriteFile(conf, "ServerRoot x\nListen 80\n#Listen 81\rListen 10.0.0.5:80 http");
  RewriteListenLines(conf, "8080");
  EXPECT_EQ(ReadFile(conf), "ServerRoot x\r\nListen 8080\r\n#Listen 81\r\nListen 10.0.0.5:8080 http\r\n");
}

}  // namespace
