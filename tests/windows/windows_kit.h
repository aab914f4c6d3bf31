#pragma once

// What the Windows tests share: stand-ins for the programs to meet in a Wine
// prefix.

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

#include "port_probe.h"
#include "server_tree.h"
#include "test_support.h"

// Tests that write to drive C: run only in a Wine prefix, never on a real machine.
class DriveC : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version"))
      GTEST_SKIP() << "writes to drive C:; runs only in a Wine prefix";
  }
};

// A program built beside this test program.
inline std::string BesideMe(const char* name) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  return (std::filesystem::path(self).parent_path() / name).string();
}

// Removes a tree; false when it could not within 10 s. A server the test
// started exits once its pid file is gone; until then its program cannot be
// removed. The server reads the file every 20 ms, and while it does the file
// cannot be removed either.
inline bool RemoveTree(const std::string& root) {
  std::error_code error;
  for (int tries = 0; tries < 1000; ++tries) {
    std::filesystem::remove(root + "\\logs\\httpd.pid", error);
    std::filesystem::remove_all(root, error);
    if (!error) return true;
    Sleep(10);
  }
  return false;
}

// A server tree at root whose program is the stand-in server, with httpd.conf
// holding the config (none when null); a C:\Program.exe that an unquoted path
// of the server program would start; the canned netstat in the system folder,
// which stays, as Wine runs it only when told to (WINEDLLOVERRIDES).
class StandIns {
 public:
  StandIns(const std::string& root, const char* config)
      : tree{root + "\\conf\\httpd.conf", root + "\\bin\\apache"}, root_(root) {
    namespace fs = std::filesystem;
    // A server a failed row left may still hold the last tree's program.
    if (!RemoveTree(root)) fs::remove_all(root);
    fs::create_directories(root + "\\conf");
    fs::create_directories(root + "\\bin");
    if (config) WriteFile(tree.configFile, config);
    fs::copy_file(BesideMe("stand_in_server.exe"), tree.serverProgram + ".exe");
    fs::copy_file(BesideMe("stand_in_server.exe"), kHijacker, fs::copy_options::overwrite_existing);
    fs::remove(kHijacker + ".log");
    fs::copy_file(BesideMe("canned_netstat.exe"), SystemDirectory() + "\\netstat.exe",
                  fs::copy_options::overwrite_existing);
  }
  StandIns(const StandIns&) = delete;
  StandIns& operator=(const StandIns&) = delete;
  ~StandIns() {
    RemoveTree(root_);
    std::error_code ignored;
    std::filesystem::remove(kHijacker, ignored);
    std::filesystem::remove(kHijacker + ".log", ignored);
  }

  std::string config() const { return ReadFileIfAny(tree.configFile); }
  // The server program's runs, one line each ("<-k> <start>\n"), then any of C:\Program.exe.
  std::string commands() const {
    return ReadFileIfAny(tree.serverProgram + ".exe.log") + ReadFileIfAny(kHijacker + ".log");
  }

  const ServerTree tree;

 private:
  inline static const std::string kHijacker = "C:\\Program.exe";
  const std::string root_;
};
