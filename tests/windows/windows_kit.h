#pragma once

// What the Windows tests share: a machine of stand-ins for the programs to
// meet in a Wine prefix, and reading the message boxes they show, from this
// process or another.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "server_tree.h"

// Tests that write to drive C: run only in a Wine prefix, never on a real machine.
class DriveC : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version"))
      GTEST_SKIP() << "writes to drive C:; runs only in a Wine prefix";
  }
};

// A program built beside this test program.
std::string BesideMe(const char* name);

// A server tree at root whose program is the stand-in server and whose
// httpd.conf holds the config (none when null); a C:\Program.exe that an
// unquoted path of the server program would start; the canned netstat in the
// system folder. The tree and C:\Program.exe go with the object; netstat
// stays, as Wine runs it only when told to (WINEDLLOVERRIDES).
class StandIns {
 public:
  StandIns(const std::string& root, const char* config);
  StandIns(const StandIns&) = delete;
  StandIns& operator=(const StandIns&) = delete;
  ~StandIns();
  std::string config() const;  // "" when there is no file
  // The server program's runs, one line each ("<-k> <start>\n"), then any of C:\Program.exe.
  std::string commands() const;

  const ServerTree tree;

 private:
  std::string root_;
};

// A message box as its user sees it.
struct SeenBox {
  std::wstring title, text;
  HWND owner;
  bool ownerShown;
  int buttons;
  bool icon;  // an error box has one
};
SeenBox ReadBox(HWND box);

std::wstring TextOf(HWND window);
std::wstring ClassOf(HWND window);
