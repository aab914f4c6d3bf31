// The real programs, started as processes on the installed tree in the Wine
// prefix and driven from outside as a script or an accessibility tool would:
// by window captions, standard classes and posted clicks.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "server_tree.h"
#include "windows_kit.h"

namespace {

constexpr wchar_t kWindowClass[] = L"portconfig.Form1";
constexpr DWORD kPatience = 30000;  // ms; a program that takes longer is stuck

// Polls until the search finds a window; null after kPatience.
HWND WaitFor(const std::function<HWND()>& search) {
  for (DWORD waited = 0; waited < kPatience; waited += 10) {
    if (const HWND found = search()) return found;
    Sleep(10);
  }
  return nullptr;
}

// The message box the program shows with its caption.
HWND WaitForBox(const wchar_t* caption) { return WaitFor([&] { return FindWindowW(L"#32770", caption); }); }

struct ProgramCase {
  const char* program;
  const wchar_t* caption;
  const wchar_t* apply;  // the apply button's text
  const char* config;    // httpd.conf; null: none
  const char* typed;     // into the port box, then apply; null: the window never shows
  const char* refusal;   // the box the apply button brings; null: none
  const wchar_t* end;    // afterwards, a button's text or "close"; null: applying ended it
  DWORD exitCode;
  const char* commands;
};

TEST(Program, RunsAsAProcessDrivenFromOutside) {
  if (!UnderWine()) GTEST_SKIP() << "writes the installed tree on drive C:; runs only in a Wine prefix";
  const wchar_t* const setup = L"設定Apache 通訊埠";
  const wchar_t* const change = L"Setup Web Service Port";
  const ProgramCase cases[] = {
      {"portsetup", setup, L"Next", "Listen 80\r\n", "abc", "Must be number.", L"close", 2, ""},
      {"portsetup", setup, L"Next", "Listen 80\r\n", "8081", nullptr, nullptr, 0, "<-k> <install>\r\n<-k> <start>\r\n"},
      {"portsetup", setup, L"Next", nullptr, nullptr, "Can't find httpd.conf!", nullptr, 2, ""},
      {"portchange", change, L"Change", "Listen 80\r\n", "80", "Not change.", L"Exit", 2, ""},
      {"portchange", change, L"Change", "Listen 80\r\n", "8081", nullptr, nullptr, 0, "<-k> <stop>\r\n<-k> <start>\r\n"},
      {"portchange", change, L"Change", nullptr, nullptr, "Can't find httpd.conf!", nullptr, 2, ""},
  };
  for (const ProgramCase& c : cases) {
    SCOPED_TRACE(std::string(c.program) + " typed " + (c.typed ? c.typed : "(nothing)"));
    const StandIns machine("C:\\Program Files\\Apache2", c.config);
    std::string command = "\"" + BesideMe(c.program) + ".exe\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &started));
    CloseHandle(started.hThread);

    if (c.typed) {
      const HWND window = WaitFor([&] {
        const HWND found = FindWindowW(kWindowClass, c.caption);
        return found && IsWindowVisible(found) ? found : nullptr;
      });
      ASSERT_NE(window, nullptr);
      std::printf("%s shown %lld ms after its start\n", c.program,
                  static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                             std::chrono::steady_clock::now() - start)
                                             .count()));
      const std::wstring typed(c.typed, c.typed + std::char_traits<char>::length(c.typed));
      SendMessageW(FindWindowExW(window, nullptr, L"Edit", nullptr), WM_SETTEXT, 0,
                   reinterpret_cast<LPARAM>(typed.c_str()));
      PostMessageW(FindWindowExW(window, nullptr, L"Button", c.apply), BM_CLICK, 0, 0);
      if (c.refusal) {
        const HWND box = WaitForBox(c.caption);
        ASSERT_NE(box, nullptr);
        const SeenBox seen = ReadBox(box);
        EXPECT_EQ(seen.text, std::wstring(c.refusal, c.refusal + std::char_traits<char>::length(c.refusal)));
        EXPECT_EQ(seen.owner, window);
        PressOk(box);
      }
      if (c.end && std::wstring(c.end) == L"close")
        PostMessageW(window, WM_CLOSE, 0, 0);
      else if (c.end)
        PostMessageW(FindWindowExW(window, nullptr, L"Button", c.end), BM_CLICK, 0, 0);
    } else {
      const HWND box = WaitForBox(c.caption);
      ASSERT_NE(box, nullptr);
      const SeenBox seen = ReadBox(box);
      EXPECT_EQ(seen.text, L"Can't find httpd.conf!");
      EXPECT_FALSE(seen.ownerShown);
      PressOk(box);
    }

    DWORD exitCode = STILL_ACTIVE;
    if (WaitForSingleObject(started.hProcess, kPatience) != WAIT_OBJECT_0) TerminateProcess(started.hProcess, 99);
    GetExitCodeProcess(started.hProcess, &exitCode);
    CloseHandle(started.hProcess);
    EXPECT_EQ(exitCode, c.exitCode);
    if (c.config) {
      EXPECT_EQ(machine.config(), c.exitCode == 0 ? "Listen " + std::string(c.typed) + "\r\n" : c.config);
    }
    EXPECT_EQ(machine.commands(), c.commands);
  }
}

}  // namespace
