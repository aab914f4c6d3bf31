// The real programs, started as processes on the installed tree in the Wine
// prefix and driven from outside as a script or an accessibility tool would:
// by window captions, standard classes and posted clicks. Each ends with its
// exit code, leaving httpd.conf and the service commands as it should.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "windows_kit.h"

namespace {

constexpr DWORD kPatience = 30000;  // ms; a program that takes longer is stuck

// Polls until the search finds a window; null after kPatience.
HWND WaitFor(const std::function<HWND()>& search) {
  for (DWORD waited = 0; waited < kPatience; waited += 10) {
    if (const HWND found = search()) return found;
    Sleep(10);
  }
  return nullptr;
}

std::wstring Wide(const char* ascii) { return std::wstring(ascii, ascii + std::strlen(ascii)); }

struct ProgramCase {
  const char* program;
  const char* damage;  // "no file", "locked": another program holds httpd.conf, "no server": its program is gone
  const char* typed;   // into the port box before pressing apply; null: the window never shows
  const char* box;     // the start of the one box shown; null: none
  const char* end;     // afterwards, a button or "close"; null: the box or applying ended it
  DWORD exitCode;
  const char* config;  // httpd.conf afterwards
  const char* commands;
};

TEST(Program, RunsAsAProcessDrivenFromOutside) {
  if (!UnderWine()) GTEST_SKIP() << "writes the installed tree on drive C:; runs only in a Wine prefix";
  const char* const before = "Listen 80\r\n";
  const char* const after = "Listen 8081\r\n";
  const ProgramCase cases[] = {
      {"portsetup", "", "abc", "Must be number.", "close", 2, before, ""},
      {"portsetup", "", "8081", nullptr, nullptr, 0, after, "<-k> <install>\n<-k> <start>\n"},
      {"portsetup", "no file", nullptr, "Can't find httpd.conf!", nullptr, 2, nullptr, ""},
      {"portsetup", "no server", "8081",
       "Could not change the port.\n\nCannot start \"C:\\Program Files\\Apache2\\bin\\apache\"", nullptr, 1, before, ""},
      {"portchange", "", "80", "Not change.", "Exit", 2, before, ""},
      {"portchange", "", "8081", nullptr, nullptr, 0, after, "<-k> <stop>\n<-k> <start>\n"},
      {"portchange", "no file", nullptr, "Can't find httpd.conf!", nullptr, 2, nullptr, ""},
      {"portchange", "locked", nullptr,
       "Could not read httpd.conf.\n\nCannot open \"C:\\Program Files\\Apache2\\conf\\httpd.conf\"", nullptr, 1, before,
       ""},
  };
  for (const ProgramCase& c : cases) {
    SCOPED_TRACE(std::string(c.program) + ", " + c.damage + ", typed " + (c.typed ? c.typed : "nothing"));
    const StandIns machine("C:\\Program Files\\Apache2", std::strcmp(c.damage, "no file") ? before : nullptr);
    if (std::strcmp(c.damage, "no server") == 0) DeleteFileA((machine.tree().serverProgram + ".exe").c_str());
    const HANDLE lock = std::strcmp(c.damage, "locked") == 0
                            ? CreateFileA(machine.tree().configFile.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                          0, nullptr)
                            : nullptr;
    std::string command = "\"" + BesideMe(c.program) + ".exe\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &started));
    CloseHandle(started.hThread);

    const std::wstring caption = std::strcmp(c.program, "portsetup") ? L"Setup Web Service Port" : L"設定Apache 通訊埠";
    const HWND window = WaitFor([&] { return FindWindowW(L"portconfig.Form1", caption.c_str()); });
    ASSERT_NE(window, nullptr);
    if (c.typed) {
      ASSERT_TRUE(WaitFor([&] { return IsWindowVisible(window) ? window : nullptr; }));
      std::printf("%s shown after %lld ms\n", c.program,
                  static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                             std::chrono::steady_clock::now() - start)
                                             .count()));
      SendMessageW(FindWindowExW(window, nullptr, L"Edit", nullptr), WM_SETTEXT, 0,
                   reinterpret_cast<LPARAM>(Wide(c.typed).c_str()));
      // The first button in tab order applies.
      PostMessageW(FindWindowExW(window, nullptr, L"Button", nullptr), BM_CLICK, 0, 0);
    }
    if (c.box) {
      const HWND box = WaitFor([&] { return FindWindowW(L"#32770", caption.c_str()); });
      ASSERT_NE(box, nullptr);
      const SeenBox seen = ReadBox(box);
      EXPECT_EQ(seen.text.rfind(Wide(c.box), 0), 0u);
      EXPECT_EQ(seen.owner, window);
      EXPECT_EQ(seen.ownerShown, c.typed != nullptr);
      EXPECT_EQ(seen.icon, c.exitCode == 1);
      PressOk(box);
    }
    if (c.end && std::strcmp(c.end, "close") == 0)
      PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    else if (c.end)
      PostMessageW(FindWindowExW(window, nullptr, L"Button", Wide(c.end).c_str()), BM_CLICK, 0, 0);

    DWORD exitCode = STILL_ACTIVE;
    if (WaitForSingleObject(started.hProcess, kPatience) != WAIT_OBJECT_0) TerminateProcess(started.hProcess, 99);
    GetExitCodeProcess(started.hProcess, &exitCode);
    CloseHandle(started.hProcess);
    if (lock) CloseHandle(lock);
    EXPECT_EQ(exitCode, c.exitCode);
    if (c.config) {
      EXPECT_EQ(machine.config(), c.config);
    }
    EXPECT_EQ(machine.commands(), c.commands);
  }
}

}  // namespace
