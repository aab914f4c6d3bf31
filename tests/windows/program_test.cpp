// The real programs, started as processes on the installed tree in the Wine
// prefix and driven from outside as their user or a script would: by window
// captions, standard classes, keys and posted clicks.
// First: winsock2.h must come before windows.h.
#include "test_sockets.h"
//
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>

#include "failed_change_cases.h"
#include "hidden_command.h"
#include "windows_kit.h"
#include "windows_text.h"

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

// A program under test: built beside this one, or in the folder
// PORTCFG_PROGRAMS names (the release zip's, unpacked).
std::string ProgramPath(const char* name) {
  const char* folder = std::getenv("PORTCFG_PROGRAMS");
  return folder ? std::string(folder) + "\\" + name : BesideMe(name);
}

std::wstring TextOf(HWND window) {
  wchar_t text[1024] = L"";
  SendMessageW(window, WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text));
  return text;
}

// Has the program save a picture of its window or box (screenshot_hook.cpp).
void SaveScreenshot(HWND window) {
  const HMODULE hook = LoadLibraryA(BesideMe("screenshot_hook.dll").c_str());
  const auto save = reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(hook, "SaveScreenshot")));
  const HHOOK hooked = SetWindowsHookExW(WH_CALLWNDPROC, save, hook, GetWindowThreadProcessId(window, nullptr));
  EXPECT_TRUE(hooked);
  SendMessageW(window, RegisterWindowMessageW(L"portconfig.screenshot"), 0, 0);
  UnhookWindowsHookEx(hooked);
  FreeLibrary(hook);
}

// Whether the control gets the keyboard focus of its window's thread.
bool Focused(HWND control) {
  return WaitFor([&] {
    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    GetGUIThreadInfo(GetWindowThreadProcessId(control, nullptr), &thread);
    return thread.hwndFocus == control ? control : nullptr;
  });
}

// The port box has the focus and all of its text selected, for typing over.
void ExpectPortTextReady(HWND box) {
  EXPECT_TRUE(Focused(box));
  EXPECT_EQ(SendMessageW(box, EM_GETSEL, 0, 0), MAKELRESULT(0, TextOf(box).size()));
}

struct ProgramCase {
  ApplyMode mode;
  const char* config;  // httpd.conf before; null: none
  // "locked": another program holds httpd.conf; "no server": its program is
  // gone; "install fails": so does "-k install", as for a service already
  // installed; "another copy": the other program is starting; "slow": each
  // run of the server program takes 0.5 s, and the window is closed meanwhile
  const char* damage;
  const char* shown;  // in the port box at opening; null: not looked at
  const char* typed;  // key by key, then Tab to apply and click; null: the window never shows
  const char* box;    // the start of the one box shown; null: none
  // Then "close" (over the box), or a button's text once the port box is
  // ready again; null: the box or applying ended it.
  const char* end;
  DWORD exitCode;
  const char* after;  // httpd.conf afterwards
  const char* commands;
};

const wchar_t* CaptionOf(ApplyMode mode) {
  return mode == ApplyMode::Setup ? L"設定Apache 通訊埠" : L"Setup Web Service Port";
}

PROCESS_INFORMATION Start(ApplyMode mode) {
  std::string command = "\"" + ProgramPath(mode == ApplyMode::Setup ? "portsetup.exe" : "portchange.exe") + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  EXPECT_TRUE(
      CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started));
  return started;
}

// How the program ended; one stuck for kPatience is ended.
DWORD Finish(const PROCESS_INFORMATION& started) {
  DWORD exitCode = STILL_ACTIVE;
  WaitForSingleObject(started.hProcess, kPatience);
  GetExitCodeProcess(started.hProcess, &exitCode);
  TerminateProcess(started.hProcess, 99);
  CloseHandle(started.hProcess);
  CloseHandle(started.hThread);
  return exitCode;
}

// Runs the case's program as its user would, once prepare has set up the
// machine, and checks how it ends, then inspect what it left while the
// machine is still there; returns the text of the box it showed. The window
// shows the used ports, takes five characters and gives the focus back after
// another program had it.
std::wstring Drive(const ProgramCase& c, const std::function<void(const StandIns&)>& prepare = {},
                   const std::function<void()>& inspect = {}) {
  const bool setup = c.mode == ApplyMode::Setup;
  SCOPED_TRACE(std::string(setup ? "portsetup" : "portchange") + ", typed " + (c.typed ? c.typed : "nothing"));
  const StandIns machine("C:\\Program Files\\Apache2", c.config);
  if (std::strcmp(c.damage, "no server") == 0) DeleteFileA((machine.tree.serverProgram + ".exe").c_str());
  const HANDLE holder =
      std::strcmp(c.damage, "locked") == 0
          ? CreateFileA(machine.tree.configFile.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)
          : nullptr;
  // Once its window is made it holds the server, and reads the ports.
  const ApplyMode otherMode = setup ? ApplyMode::Change : ApplyMode::Setup;
  std::optional<PROCESS_INFORMATION> other;
  if (std::strcmp(c.damage, "another copy") == 0) {
    other = Start(otherMode);
    WaitFor([&] { return FindWindowW(L"portconfig.Form1", CaptionOf(otherMode)); });
  }
  const bool slow = std::strcmp(c.damage, "slow") == 0;
  const ScopedEnvironment pace("STAND_IN_SLEEP_MS", slow ? "500" : "0");
  const ScopedEnvironment install("STAND_IN_INSTALL_FAILS", std::strcmp(c.damage, "install fails") ? "" : "1");
  if (prepare) prepare(machine);
  const PROCESS_INFORMATION started = Start(c.mode);

  const wchar_t* caption = CaptionOf(c.mode);
  const HWND window = c.typed || c.box ? WaitFor([&] { return FindWindowW(L"portconfig.Form1", caption); }) : nullptr;
  // Its controls are there once it shows.
  const bool shown = c.typed && WaitFor([&] { return IsWindowVisible(window) ? window : nullptr; });
  const HWND box = FindWindowExW(window, nullptr, L"Edit", nullptr);
  const HWND apply = FindWindowExW(window, nullptr, L"Button", nullptr);  // the first in tab order
  if (shown) {
    if (c.shown) {
      EXPECT_EQ(TextOf(box), FromAnsi(c.shown));
    }
    ExpectPortTextReady(box);
    EXPECT_EQ(SendMessageW(FindWindowExW(window, nullptr, L"ListBox", nullptr), LB_GETCOUNT, 0, 0), 3);
    SaveScreenshot(window);
    const std::wstring typed = FromAnsi(c.typed);
    for (const wchar_t key : typed) SendMessageW(box, WM_CHAR, key, 0);
    EXPECT_EQ(TextOf(box), typed.substr(0, 5));
    PostMessageW(box, WM_KEYDOWN, VK_TAB, 0);
    EXPECT_TRUE(Focused(apply));
    // The focus comes back once another program has had the activation.
    const HWND another =
        CreateWindowExW(0, L"Static", L"", WS_POPUP | WS_VISIBLE, 0, 0, 9, 9, nullptr, nullptr, nullptr, nullptr);
    SetForegroundWindow(another);
    DestroyWindow(another);
    SetForegroundWindow(window);
    EXPECT_TRUE(Focused(apply));
    PostMessageW(apply, BM_CLICK, 0, 0);
  }
  if (slow) {
    Sleep(200);  // into the change
    PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    DWORD_PTR answer = TRUE;
    EXPECT_TRUE(SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, 0, SMTO_ABORTIFHUNG, 1000, &answer));
    EXPECT_EQ(answer, FALSE) << "the session waits for the change";
  }
  const bool close = c.end && std::strcmp(c.end, "close") == 0;
  std::wstring text;
  if (c.box) {
    const HWND answered = WaitFor([&] { return FindWindowW(L"#32770", caption); });
    SaveScreenshot(answered);
    text = TextOf(GetDlgItem(answered, 0xffff));  // the static holding a box's text
    EXPECT_EQ(text.rfind(FromAnsi(c.box), 0), 0u);
    // Closing the window takes its box with it.
    if (!close) PostMessageW(answered, WM_COMMAND, IDOK, 0);
  }
  if (close) {
    PostMessageW(window, WM_CLOSE, 0, 0);  // as End task does
  } else if (c.end) {
    ExpectPortTextReady(box);
    PostMessageW(FindWindowExW(window, nullptr, L"Button", FromAnsi(c.end).c_str()), BM_CLICK, 0, 0);
  }

  const DWORD exitCode = Finish(started);
  if (holder) CloseHandle(holder);
  EXPECT_EQ(exitCode, c.exitCode);
  // The other copy read the ports undisturbed, and waits for its user.
  if (other) {
    PostMessageW(WaitFor([&] {
                   const HWND shown = FindWindowW(L"portconfig.Form1", CaptionOf(otherMode));
                   return IsWindowVisible(shown) ? shown : nullptr;
                 }),
                 WM_CLOSE, 0, 0);
    EXPECT_EQ(Finish(*other), 2u);
  }
  EXPECT_EQ(machine.config(), c.after);
  EXPECT_EQ(machine.commands(), c.commands);
  if (inspect) inspect();
  return text;
}

TEST_F(DriveC, EachProgramEndsWithItsCodeAndTheFileAsItShouldBe) {
  const char* const before = "Listen 80\r\n";
  const char* const after = "Listen 8081\r\n";
  const ProgramCase cases[] = {
      {ApplyMode::Setup, before, "", "80", "8x0123", "Must be number.", "close", 2, before, ""},
      {ApplyMode::Setup, before, "install fails", "80", "8081", nullptr, nullptr, 0, after,
       "<-t>\n<-k> <install>\n<-k> <start>\n"},
      {ApplyMode::Setup, nullptr, "", nullptr, nullptr, "Can't find httpd.conf!", nullptr, 2, "", ""},
      {ApplyMode::Change, before, "", "80", "80", "Not change.", "Exit", 2, before, ""},
      {ApplyMode::Change, before, "", "80", "8081", nullptr, nullptr, 0, after, "<-t>\n<-k> <stop>\n<-k> <start>\n"},
      {ApplyMode::Change, before, "locked", nullptr, nullptr,
       "Could not read httpd.conf.\n\nCannot open \"C:\\Program Files\\Apache2\\conf\\httpd.conf\"", nullptr, 1, before,
       ""},
      {ApplyMode::Change, before, "another copy", nullptr, nullptr, nullptr, nullptr, 2, before, ""},
      {ApplyMode::Setup, before, "slow", nullptr, "8081", nullptr, nullptr, 0, after,
       "<-t>\n<-k> <install>\n<-k> <start>\n"},
  };
  for (const ProgramCase& c : cases) Drive(c);
}

// The programs give the server 30 s; the rows whose outcome comes from that
// wait running out are left to the window tests, which shorten it.
TEST_F(DriveC, EachChangeTheServerDecidesEndsAsItShould) {
  const Sockets sockets;
  for (const FailedChangeCase& c : kFailedChangeCases) {
    if (c.waitsOut) continue;
    SCOPED_TRACE(c.name);
    const ChangeRun run(c);
    std::optional<TestSocket> taken;
    const auto prepare = [&](const StandIns& machine) {
      if (std::strcmp(c.server, "running") == 0) {
        WriteFile(machine.tree.configFile, run.Filled("Listen OLD\r\n"));
        RunHiddenAndWait({machine.tree.serverProgram, {"-k", "start"}});
        DeleteFileA((machine.tree.serverProgram + ".exe.log").c_str());
        WriteFile(machine.tree.configFile, run.config());
      }
      if (std::strcmp(c.setting, "taken") == 0) taken.emplace(AF_INET, SOCK_STREAM, std::stoi(run.newPort));
      if (taken) taken->Listen();
    };
    const auto inspect = [&] {
      taken.reset();
      EXPECT_EQ(run.Listening(), c.listening);
    };
    const bool applied = c.says.empty();
    const std::string before = run.config(), after = applied ? run.changed() : before;
    const char* const damage = std::strcmp(c.server, "missing") == 0 ? "no server" : "";
    const std::wstring text =
        Drive({c.mode, before.c_str(), damage, nullptr, run.newPort.c_str(),
               applied ? nullptr : "Could not change the port.\n\n", &c == kFailedChangeCases ? "close" : nullptr,
               applied ? 0u : 1u, after.c_str(), c.runs},
              prepare, inspect);
    EXPECT_EQ(run.MissingFrom(ToAnsi(text), InstalledServerTree().serverProgram), "");
  }
}

}  // namespace
