// Runs the program its argument names and answers it as its user would: each
// message box the program shows has its caption and text printed, a line
// each, and its OK pressed. Ends with the program's exit code, or with 100
// when the program cannot start or is still running after a minute.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>

namespace {

constexpr int kWatchFailed = 100;
constexpr DWORD kTimeLimitMs = 60000;
constexpr int kMessageBoxTextId = 0xFFFF;

using Handle = std::unique_ptr<std::remove_pointer_t<HANDLE>, decltype(&CloseHandle)>;

struct BoxSearch {
  DWORD process_id;
  HWND box = nullptr;
};

BOOL CALLBACK FindBox(HWND window, LPARAM search_address) {
  auto& search = *reinterpret_cast<BoxSearch*>(search_address);
  DWORD owner = 0;
  char class_name[8] = "";
  GetWindowThreadProcessId(window, &owner);
  GetClassNameA(window, class_name, sizeof class_name);
  if (owner != search.process_id || !IsWindowVisible(window) || std::strcmp(class_name, "#32770") != 0) return TRUE;
  search.box = window;
  return FALSE;
}

// WM_GETTEXT, as GetWindowText does not read another process's controls.
std::string Text(HWND window) {
  char text[1024] = "";
  SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  std::string command_line = std::string("\"") + (argc == 2 ? argv[1] : "") + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (argc != 2 ||
      !CreateProcessA(nullptr, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
    std::fprintf(stderr, "box_watcher: cannot start %s: error %lu\n", command_line.c_str(), GetLastError());
    return kWatchFailed;
  }
  const Handle process(started.hProcess, &CloseHandle);
  const Handle thread(started.hThread, &CloseHandle);

  const DWORD start = GetTickCount();
  HWND answered = nullptr;
  while (WaitForSingleObject(process.get(), 20) == WAIT_TIMEOUT) {
    if (GetTickCount() - start > kTimeLimitMs) {
      TerminateProcess(process.get(), kWatchFailed);
      std::fprintf(stderr, "box_watcher: %s still running after %lu ms\n", argv[1], kTimeLimitMs);
      return kWatchFailed;
    }
    BoxSearch search{started.dwProcessId};
    EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
    if (!search.box || search.box == answered) continue;
    std::printf("%s\n%s\n", Text(search.box).c_str(), Text(GetDlgItem(search.box, kMessageBoxTextId)).c_str());
    std::fflush(stdout);
    PostMessageA(search.box, WM_COMMAND, IDOK, 0);
    answered = search.box;
  }
  DWORD exit_code = kWatchFailed;
  GetExitCodeProcess(process.get(), &exit_code);
  return static_cast<int>(exit_code);
}
