// What Win32 code does, under Wine: the core's Windows side, and the real programs driven as their user would.
#include "test_sockets.h"  // first: winsock2.h must come before windows.h
//
#include <gtest/gtest.h>
#include <process.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
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

// The control gets its thread's focus; a port box has all its text selected.
void ExpectFocused(HWND control, bool portBox = false) {
  EXPECT_TRUE(WaitFor([&] {
    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    GetGUIThreadInfo(GetWindowThreadProcessId(control, nullptr), &thread);
    return thread.hwndFocus == control;
  }));
  if (!portBox) return;
  EXPECT_EQ(SendMessageW(control, EM_GETSEL, 0, 0), MAKELRESULT(0, TextOf(control).size()));
}

// A row of Programs: what the user meets and does, how the program ends and what the server program ran.
struct ProgramCase {
  const char* name;
  bool setup;          // else portchange, which finds its server running
  const char* damage;  // "missing" (no server program), "no netstat" or "another copy" open
  const char* typed;   // before Tab and a click; kOldPort and kNewPort stand for those ports; "": no window
  const char* box;     // its text's start; "": none
  const char* end;     // "close": the window closed at its box; "Exit": clicked after it
  bool endSession;     // asked during the change, refused, cancelled, then ended anyway
  DWORD exitCode;
  const char* commands;  // each argument bracketed; "*": any text
};

const char kOldPort[] = "old port", kNewPort[] = "new port";

// Only in a Wine prefix: the stand-in on drive C: as the installed server, as the C:\Program.exe an unquoted
// path would start, and as netstat.
class Programs : public testing::TestWithParam<ProgramCase> {
 protected:
  void SetUp() override {
    if (!GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")) GTEST_SKIP() << "runs only under Wine";
    const TestSocket one(AF_INET6, SOCK_STREAM), two(AF_INET6, SOCK_STREAM);
    oldPort = std::to_string(one.port());
    newPort = std::to_string(two.port());
    WriteFile("c:\\testport.bat", "@echo a much longer batch file left by an earlier run\r\n");
    for (const char* folder : {"\\bin", "\\conf"}) fs::create_directories(kRoot + folder);
    WriteFile(tree.configFile, "Listen " + oldPort + "\n");
    for (const std::string& copy : {tree.serverProgram + ".exe", kHijacker, SystemDirectory() + "\\netstat.exe"})
      fs::copy_file(BesideMe("stand_in_server.exe"), copy, fs::copy_options::overwrite_existing);
  }

  std::string Commands() const { return ReadFileIfAny(log) + ReadFileIfAny(kHijacker + ".log"); }

  const std::string kRoot = "C:\\Program Files\\Apache2", kHijacker = "C:\\Program.exe";
  const ServerTree tree = InstalledServerTree();
  const std::string log = tree.serverProgram + ".exe.log";
  const Sockets sockets;
  std::string oldPort, newPort;
};

TEST_P(Programs, AsTheirUserMeetsThemWithTheirExitCodes) {
  const ProgramCase& c = GetParam();
  const std::string damage = c.damage, end = c.end;
  const std::string typed = c.typed == kOldPort ? oldPort : c.typed == kNewPort ? newPort : c.typed;
  if (!c.setup) RunHiddenAndWait({tree.serverProgram, {"-k", "start"}});
  fs::remove(damage == "missing" ? tree.serverProgram + ".exe" : log);
  if (damage == "no netstat") fs::remove(SystemDirectory() + "\\netstat.exe");
  const HANDLE other = damage == "another copy" ? Start(!c.setup) : nullptr;
  if (other) WaitFor([&] { return FindShown(!c.setup); });
  const HANDLE program = Start(c.setup);
  const HWND window = typed.empty() ? nullptr : WaitFor([&] { return FindShown(c.setup); });
  const HWND port = FindWindowExW(window, nullptr, L"Edit", nullptr);
  if (window) {
    EXPECT_EQ(TextOf(port), oldPort);
    ExpectFocused(port, true);
    EXPECT_EQ(SendMessageW(FindWindowExW(window, nullptr, L"ListBox", nullptr), LB_GETCOUNT, 0, 0), 2);
    SaveScreenshot(window);
    for (const char key : typed) SendMessageW(port, WM_CHAR, key, 0);
    EXPECT_EQ(TextOf(port), typed.substr(0, 5));
    PostMessageW(port, WM_KEYDOWN, VK_TAB, 0);
    ExpectFocused(FindWindowExW(window, nullptr, L"Button", nullptr));
    PostMessageW(FindWindowExW(window, nullptr, L"Button", nullptr), BM_CLICK, 0, 0);
  }
  if (c.endSession) {  // neither a close nor the session's end stops a change
    WaitFor([&] { return Commands().find("[stop]") != std::string::npos; });
    EXPECT_FALSE(IsWindowEnabled(FindWindowExW(window, nullptr, L"Button", L"Exit")));
    PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(SendMessageW(window, WM_QUERYENDSESSION, 0, 0), FALSE);
    DWORD_PTR answer;  // the user cancelled: answered at once, the change going on
    SendMessageTimeoutW(window, WM_ENDSESSION, FALSE, 0, SMTO_NORMAL, 30000, &answer);
    EXPECT_TRUE(Matches(Commands(), "*[-k] [stop]\n")) << Commands();
    EXPECT_EQ(SendMessageW(window, WM_QUERYENDSESSION, 0, 0), FALSE);
    Sleep(100);  // the system ends the session only once the user chose to, not as it answers
    SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 30000, &answer);  // it waits for the change
    EXPECT_TRUE(Matches(Commands(), "*[-k] [start]\n")) << Commands();
  }
  if (*c.box) {
    const HWND box = WaitFor([&] { return FindShown(c.setup, L"#32770"); });
    SaveScreenshot(box, true);
    EXPECT_EQ(TextOf(GetDlgItem(box, 0xffff)).substr(0, std::strlen(c.box)), c.box);
    PostMessageW(end == "close" ? window : box, WM_CLOSE, 0, 0);  // a closed window takes its box along
  }
  if (end == "Exit") {
    ExpectFocused(port, true);
    PostMessageW(FindWindowExW(window, nullptr, L"Button", L"Exit"), BM_CLICK, 0, 0);
  }
  EXPECT_EQ(Finish(program), c.exitCode);
  if (other) {  // the other copy read the ports undisturbed and waited
    PostMessageW(FindShown(!c.setup), WM_CLOSE, 0, 0);
    EXPECT_EQ(Finish(other), 2u);
  }
  EXPECT_TRUE(Matches(Commands(), c.commands)) << Commands();
  // What the stop wrote as it ended was kept.
  const bool serverLeft = !c.setup || c.exitCode == 0;
  EXPECT_EQ(RunHiddenAndWait({kHijacker, {"-k", "stop"}}).output,
            serverLeft ? "" : "httpd (no pid file) not running\r\n");
  // The probe's batch file was made anew, and while it ran nobody could change or delete it.
  EXPECT_EQ(ReadWholeFile("c:\\testport.bat"), "C:\\windows\\system32\\netstat.exe -na > c:\\netstat.log\r\n");
  EXPECT_EQ(ReadWholeFile("c:\\netstat.log").find("\nopen for writing: 32\r\ndelete: 32\r\n") != std::string::npos,
            damage != "no netstat");
  std::error_code error;  // a server told to stop holds its program a moment longer
  for (int tries = 0; fs::remove_all(kRoot, error), error && tries < 100; ++tries) Sleep(100);
  fs::remove(kHijacker + ".log", error);
}

const ProgramCase kProgramCases[] = {
    {"SetupRefusedThenClosed", true, "", "8x0123", "Must be number.", "close", false, 2, ""},
    {"SetupApplied", true, "", kNewPort, "", "", false, 0,
     "[-t] [-f] [C:\\Program Files\\Apache2\\conf\\*]\n[-k] [install]\n[-k] [start]\n"},
    {"ChangeRefusedThenExit", false, "", kOldPort, "Not change.", "Exit", false, 2, ""},
    {"ChangeAppliedThoughTheSessionEnds", false, "", kNewPort, "", "", true, 0,
     "[-t] [-f] [C:\\Program Files\\Apache2\\conf\\*]\n[-k] [stop]\n[-k] [start]\n"},
    {"NoServerProgram", true, "missing", kNewPort,
     "Could not change the port.\n\nCannot start \"C:\\Program Files\\Apache2\\bin\\apache\" -t", "", false, 1, ""},
    {"NoNetstat", true, "no netstat", "", "Could not read the ports.", "", false, 1, ""},
    {"AnotherCopyOpen", true, "another copy", "", "", "", false, 2, ""},
};

INSTANTIATE_TEST_SUITE_P(Rows, Programs, testing::ValuesIn(kProgramCases),
                         [](const testing::TestParamInfo<ProgramCase>& row) { return std::string(row.param.name); });

}  // namespace
