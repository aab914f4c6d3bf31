// Runs the program its argument names and answers it as its user would: each
// message box the program shows has its caption and text printed, a line
// each, and its OK pressed. Ends with the program's exit code, or with 100
// when the program cannot start.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <type_traits>

namespace {

using Handle = std::unique_ptr<std::remove_pointer_t<HANDLE>, decltype(&CloseHandle)>;

// WM_GETTEXT, as GetWindowText does not read another process's controls.
std::string Text(HWND window) {
  char text[1024] = "";
  SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  return text;
}

// A visible message box of the process, or null.
HWND BoxOf(DWORD processId) {
  for (HWND box = nullptr; (box = FindWindowExA(nullptr, box, "#32770", nullptr));) {
    DWORD owner = 0;
    GetWindowThreadProcessId(box, &owner);
    if (owner == processId && IsWindowVisible(box)) return box;
  }
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  std::string commandLine = std::string("\"") + (argc == 2 ? argv[1] : "") + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (argc != 2 ||
      !CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
    std::fprintf(stderr, "box_watcher: cannot start %s: error %lu\n", commandLine.c_str(), GetLastError());
    return 100;
  }
  const Handle process(started.hProcess, &CloseHandle);
  const Handle thread(started.hThread, &CloseHandle);
  HWND answered = nullptr;
  while (WaitForSingleObject(process.get(), 20) == WAIT_TIMEOUT) {
    const HWND box = BoxOf(started.dwProcessId);
    if (!box || box == answered) continue;
    // 0xFFFF: the box's text.
    std::printf("%s\n%s\n", Text(box).c_str(), Text(GetDlgItem(box, 0xFFFF)).c_str());
    std::fflush(stdout);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    answered = box;
  }
  DWORD exitCode = 100;
  GetExitCodeProcess(process.get(), &exitCode);
  return static_cast<int>(exitCode);
}
