// What Win32 code does, under Wine: the core's Windows side, and the real programs driven as their user would.
#include "test_sockets.h"  // first: winsock2.h must come before windows.h
//
#include <gtest/gtest.h>
#include <process.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>

#include "hidden_command.h"
#include "port_probe.h"
#include "server_tree.h"
#include "test_support.h"
#include "windows_text.h"

namespace {

namespace fs = std::filesystem;

std::string BesideMe(const char* name) { return (fs::path(_pgmptr).parent_path() / name).string(); }

// Polls for up to 30 s, in which a program that is not stuck has done its part.
template <typename Search>
auto WaitFor(Search search) {
  for (int tries = 0; tries < 3000 && !search(); ++tries) Sleep(10);
  return search();
}

// From this one's folder, or from the one PORTCFG_PROGRAMS names (the release zip's, unpacked).
HANDLE Start(bool setup) {
  const char* name = setup ? "portsetup.exe" : "portchange.exe";
  const char* folder = std::getenv("PORTCFG_PROGRAMS");
  const std::string path = folder ? std::string(folder) + "\\" + name : BesideMe(name);
  return reinterpret_cast<HANDLE>(_spawnl(_P_NOWAIT, path.c_str(), name, nullptr));
}

// How the program ended; one stuck is ended.
DWORD Finish(HANDLE program) {
  DWORD exitCode = WaitForSingleObject(program, 30000);
  GetExitCodeProcess(program, &exitCode);
  TerminateProcess(program, 99);
  CloseHandle(program);
  return exitCode;
}

HWND FindShown(bool setup, const wchar_t* windowClass = L"portconfig.Form1") {
  const HWND found = FindWindowW(windowClass, setup ? L"設定Apache 通訊埠" : L"Setup Web Service Port");
  return IsWindowVisible(found) ? found : nullptr;
}

std::string TextOf(HWND control) {
  wchar_t text[1024] = L"";
  SendMessageW(control, WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text));
  return ToAnsi(text);
}

// Has the program save a picture of its window or box (screenshot_hook.cpp).
void SaveScreenshot(HWND window, bool box = false) {
  const HMODULE hook = LoadLibraryA(BesideMe("screenshot_hook.dll").c_str());
  const auto save = reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(hook, "SaveScreenshot")));
  const HHOOK hooked = SetWindowsHookExW(WH_CALLWNDPROC, save, hook, GetWindowThreadProcessId(window, nullptr));
  SendMessageW(window, RegisterWindowMessageW(L"portconfig.screenshot"), box, 0);
  UnhookWindowsHookEx(hooked);
  FreeLibrary(hook);
}

// The control gets its thread's focus, all its text (a button's none) selected.
void ExpectFocused(HWND control) {
  EXPECT_TRUE(WaitFor([&] {
    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    GetGUIThreadInfo(GetWindowThreadProcessId(control, nullptr), &thread);
    return thread.hwndFocus == control;
  }));
  EXPECT_EQ(SendMessageW(control, EM_GETSEL, 0, 0),
            MAKELRESULT(0, SendMessageW(control, EM_GETLIMITTEXT, 0, 0) ? TextOf(control).size() : 0));
}

// Only in a Wine prefix: the stand-in on drive C: as the installed server, as the C:\Program.exe an unquoted
// path would start, and as netstat. A row: the program (portchange finds its server running), its exit code,
// the server program "missing", "no netstat" or "another copy" open, what is typed before Tab and a click
// ("": no window), the box, then the window closed, or Exit clicked.
TEST(Programs, AsTheirUserMeetsThemWithTheirExitCodes) {
  if (!GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")) GTEST_SKIP() << "runs only under Wine";
  const ServerTree tree = InstalledServerTree();
  const std::string root = "C:\\Program Files\\Apache2", log = tree.serverProgram + ".exe.log";
  const std::string hijacker = "C:\\Program.exe";
  const auto commands = [&] { return ReadFileIfAny(log) + ReadFileIfAny(hijacker + ".log"); };
  const Sockets sockets;
  const auto [oldPort, newPort] = [] {
    const TestSocket one(AF_INET6, SOCK_STREAM), two(AF_INET6, SOCK_STREAM);
    return std::pair{std::to_string(one.port()), std::to_string(two.port())};
  }();
  const bool portsetup = true, portchange = false;
  const std::string before = "Listen " + oldPort + "\n", after = "Listen " + newPort + "\r\n";
  const struct {
    bool setup;
    DWORD exitCode;
    std::string damage, typed, box, end, after, commands;
  } cases[] = {{portsetup, 2, "", "8x0123", "Must be number.", "close", before, ""},
               {portsetup, 0, "", newPort, "", "", after, "-t -f *\n-k install\n-k start\n"},
               {portchange, 2, "", oldPort, "Not change.", "Exit", before, ""},
               {portchange, 0, "", newPort, "", "", after, "-t -f *\n-k stop\n-k start\n"},
               {portsetup, 1, "missing", newPort,
                "Could not change the port.\n\nCannot start \"" + tree.serverProgram + "\" -t", "", before, ""},
               {portsetup, 1, "no netstat", "", "Could not read the ports.", "", before, ""},
               {portsetup, 2, "another copy", "", "", "", before, ""}};
  WriteFile("c:\\testport.bat", "@echo a much longer batch file left by an earlier run\r\n");
  std::string stopped;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(&c - cases));
    for (const char* folder : {"\\bin", "\\conf"}) fs::create_directories(root + folder);
    WriteFile(tree.configFile, before);
    for (const std::string& copy : {tree.serverProgram + ".exe", hijacker, SystemDirectory() + "\\netstat.exe"})
      fs::copy_file(BesideMe("stand_in_server.exe"), copy, fs::copy_options::overwrite_existing);
    if (!c.setup) RunHiddenAndWait({tree.serverProgram, {"-k", "start"}});
    fs::remove(c.damage == "missing" ? tree.serverProgram + ".exe" : log);
    if (c.damage == "no netstat") fs::remove(SystemDirectory() + "\\netstat.exe");
    const HANDLE other = c.damage == "another copy" ? Start(!c.setup) : nullptr;
    if (other) WaitFor([&] { return FindShown(!c.setup); });
    const HANDLE program = Start(c.setup);
    const HWND window = c.typed.empty() ? nullptr : WaitFor([&] { return FindShown(c.setup); });
    const HWND port = FindWindowExW(window, nullptr, L"Edit", nullptr);
    if (window) {
      EXPECT_EQ(TextOf(port), oldPort);
      ExpectFocused(port);
      EXPECT_EQ(SendMessageW(FindWindowExW(window, nullptr, L"ListBox", nullptr), LB_GETCOUNT, 0, 0), 2);
      SaveScreenshot(window);
      for (const char key : c.typed) SendMessageW(port, WM_CHAR, key, 0);
      EXPECT_EQ(TextOf(port), c.typed.substr(0, 5));
      PostMessageW(port, WM_KEYDOWN, VK_TAB, 0);
      ExpectFocused(FindWindowExW(window, nullptr, L"Button", nullptr));
      PostMessageW(FindWindowExW(window, nullptr, L"Button", nullptr), BM_CLICK, 0, 0);
    }
    if (window && !c.setup && c.exitCode == 0) {  // neither a close nor the session's end stops a change
      WaitFor([&] { return commands().find("-k stop") != std::string::npos; });
      PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
      EXPECT_EQ(SendMessageW(window, WM_QUERYENDSESSION, 0, 0), FALSE);
      Sleep(100);        // the system ends the session only once the user chose to, not as it answers
      DWORD_PTR answer;  // the session's end waits for the change
      SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 30000, &answer);
      EXPECT_TRUE(Matches(commands(), "*-k start\n")) << commands();
    }
    if (!c.box.empty()) {
      const HWND box = WaitFor([&] { return FindShown(c.setup, L"#32770"); });
      SaveScreenshot(box, true);
      EXPECT_EQ(TextOf(GetDlgItem(box, 0xffff)).substr(0, c.box.size()), c.box);
      PostMessageW(c.end == "close" ? window : box, WM_CLOSE, 0, 0);  // a closed window takes its box along
    }
    if (c.end == "Exit") ExpectFocused(port);
    if (c.end == "Exit") PostMessageW(FindWindowExW(window, nullptr, L"Button", L"Exit"), BM_CLICK, 0, 0);
    EXPECT_EQ(Finish(program), c.exitCode);
    if (other) PostMessageW(FindShown(!c.setup), WM_CLOSE, 0, 0);
    EXPECT_EQ(other ? Finish(other) : 2u, 2u);  // the other copy read the ports undisturbed and waited
    EXPECT_EQ(ReadFile(tree.configFile), c.after);
    EXPECT_TRUE(Matches(commands(), c.commands)) << commands();
    stopped = RunHiddenAndWait({hijacker, {"-k", "stop"}}).output;
    std::error_code error;  // a server told to stop holds its program a moment longer
    for (int tries = 0; fs::remove_all(root, error), error && tries < 100; ++tries) Sleep(100);
    fs::remove(hijacker + ".log", error);
  }
  // The last row left no server: what the stop wrote as it ended was kept.
  EXPECT_EQ(stopped, "httpd (no pid file) not running\r\n");
  // The probe's batch file was made anew, and while it ran nobody could change or delete it.
  EXPECT_EQ(ReadFile("c:\\testport.bat"), "C:\\windows\\system32\\netstat.exe -na > c:\\netstat.log\r\n");
  EXPECT_NE(ReadFile("c:\\netstat.log").find("\nopen for writing: 32\r\ndelete: 32\r\n"), std::string::npos);
}

}  // namespace
