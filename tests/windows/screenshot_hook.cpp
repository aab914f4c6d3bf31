// Hooked into a program's thread by program_tests, it has the program save one
// of its windows, frame and all, as the program drew it, when the window is
// sent the message "portconfig.screenshot": as screenshots/<name>.ppm in the
// build folder this lies in (its bin/), for the leg to convert, named for the
// program, or "message" for a message box.
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

// This library's own start in memory, which names it.
extern "C" IMAGE_DOS_HEADER __ImageBase;

extern "C" __declspec(dllexport) LRESULT CALLBACK SaveScreenshot(int code, WPARAM sent, LPARAM message) {
  const CWPSTRUCT& call = *reinterpret_cast<const CWPSTRUCT*>(message);
  if (code != HC_ACTION || call.message != RegisterWindowMessageW(L"portconfig.screenshot"))
    return CallNextHookEx(nullptr, code, sent, message);
  const HWND window = call.hwnd;
  wchar_t found[MAX_PATH] = L"";
  GetClassNameW(window, found, MAX_PATH);
  std::wstring name = L"message";
  if (std::wstring(found) != L"#32770" && GetModuleFileNameW(nullptr, found, MAX_PATH))
    name = std::filesystem::path(found).stem().wstring();

  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  RECT frame;
  GetWindowRect(window, &frame);
  const LONG width = frame.right - frame.left;
  const LONG height = frame.bottom - frame.top;
  std::string picture = "P6 " + std::to_string(width) + " " + std::to_string(height) + " 255\n";
  const HDC dc = GetWindowDC(window);
  for (int at = 0; at < width * height; ++at) {
    const COLORREF pixel = GetPixel(dc, at % width, at / width);
    picture += {char(GetRValue(pixel)), char(GetGValue(pixel)), char(GetBValue(pixel))};
  }
  ReleaseDC(window, dc);
  GetModuleFileNameW(reinterpret_cast<HMODULE>(&__ImageBase), found, MAX_PATH);
  const std::filesystem::path folder = std::filesystem::path(found).parent_path().parent_path() / "screenshots";
  std::filesystem::create_directories(folder);
  std::ofstream(folder / (name + L".ppm"), std::ios::binary) << picture;
  return CallNextHookEx(nullptr, code, sent, message);
}
