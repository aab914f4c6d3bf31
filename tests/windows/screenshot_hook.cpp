// Hooked into a program by the tests: a window sent "portconfig.screenshot"
// is saved, frame and all, as drawn, as screenshots/<program>.ppm (or
// message.ppm when the message says it is a box) beside the program's folder.
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

extern "C" __declspec(dllexport) LRESULT CALLBACK SaveScreenshot(int code, WPARAM sent, LPARAM message) {
  const CWPSTRUCT& call = *reinterpret_cast<const CWPSTRUCT*>(message);
  if (code != HC_ACTION || call.message != RegisterWindowMessageW(L"portconfig.screenshot"))
    return CallNextHookEx(nullptr, code, sent, message);
  wchar_t found[MAX_PATH] = L"";
  GetModuleFileNameW(nullptr, found, MAX_PATH);
  const std::wstring name = call.wParam ? L"message" : std::filesystem::path(found).stem().wstring();
  RedrawWindow(call.hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  RECT frame;
  GetWindowRect(call.hwnd, &frame);
  const LONG width = frame.right - frame.left, height = frame.bottom - frame.top;
  std::string picture = "P6 " + std::to_string(width) + " " + std::to_string(height) + " 255\n";
  const HDC dc = GetWindowDC(call.hwnd);
  for (int at = 0; at < width * height; ++at) {
    const COLORREF pixel = GetPixel(dc, at % width, at / width);
    picture += {char(GetRValue(pixel)), char(GetGValue(pixel)), char(GetBValue(pixel))};
  }
  ReleaseDC(call.hwnd, dc);
  const std::filesystem::path folder = std::filesystem::path(found).parent_path().parent_path() / "screenshots";
  std::filesystem::create_directories(folder);
  std::ofstream(folder / (name + L".ppm"), std::ios::binary) << picture;
  return CallNextHookEx(nullptr, code, sent, message);
}
