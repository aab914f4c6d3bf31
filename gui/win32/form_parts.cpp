#include "form_parts.h"

#include <commctrl.h>

#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>

#include "resource_ids.h"
#include "windows_text.h"

namespace gui {

namespace {

constexpr int kTwipsPerInch = 1440;

struct ControlClass {
  const wchar_t* name;
  DWORD style;
  DWORD exStyle;
};

ControlClass ClassOf(ControlKind kind) {
  switch (kind) {
    case ControlKind::Picture:
      return {L"Static", SS_OWNERDRAW, 0};
    case ControlKind::Label:
      return {L"Static", SS_LEFT | SS_NOPREFIX, 0};
    case ControlKind::TextBox:
      return {L"Edit", ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP | WS_GROUP, WS_EX_CLIENTEDGE};
    case ControlKind::ListBox:
      return {L"ListBox", LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP | WS_GROUP, WS_EX_CLIENTEDGE};
    case ControlKind::Button:
      return {L"Button", BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP, 0};
    case ControlKind::Line:
      break;
  }
  throw std::logic_error("a line is drawn, not a window");
}

// The picture box passes its labels' colour requests on to the window, which
// knows which labels are transparent.
LRESULT CALLBACK PassColoursUp(HWND picture, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR) {
  if (message == WM_CTLCOLORSTATIC) return SendMessageW(GetParent(picture), message, wParam, lParam);
  if (message == WM_NCDESTROY) RemoveWindowSubclass(picture, PassColoursUp, id);
  return DefSubclassProc(picture, message, wParam, lParam);
}

}  // namespace

void RegisterWindowClass(const std::wstring& name, WNDPROC procedure) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = name.c_str();
  if (!RegisterClassExW(&windowClass)) {
    const DWORD error = GetLastError();  // before building the message can change it
    ThrowWindowsError("Cannot register the window class", error);
  }
}

int FromTwips(int twips, UINT dpi) { return MulDiv(twips, static_cast<int>(dpi), kTwipsPerInch); }

int FromPixels(int pixels, UINT dpi) { return MulDiv(pixels, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI); }

RECT PixelRect(const Twips& place, UINT dpi) {
  return {FromTwips(place.left, dpi), FromTwips(place.top, dpi), FromTwips(place.left + place.width, dpi),
          FromTwips(place.top + place.height, dpi)};
}

SIZE WindowSize(const FormLayout& layout, DWORD style, UINT dpi) {
  RECT frame{0, 0, FromTwips(layout.width, dpi), FromTwips(layout.height, dpi)};
  AdjustWindowRectExForDpi(&frame, style, FALSE, 0, dpi);
  return {frame.right - frame.left, frame.bottom - frame.top};
}

void CentreOnMonitor(HWND window, SIZE size) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& work = monitor.rcWork;
  const PixelArea place =
      CentredOn({work.left, work.top, work.right - work.left, work.bottom - work.top}, size.cx, size.cy);
  SetWindowPos(window, nullptr, place.left, place.top, place.width, place.height, SWP_NOZORDER | SWP_NOACTIVATE);
}

FontHandle ArialFont(const Font& font, UINT dpi) {
  LOGFONTW description{};
  // Whole hundredths of a point, so 8.25 pt keeps its quarter.
  description.lfHeight = -MulDiv(static_cast<int>(std::lround(font.points * 100)), static_cast<int>(dpi), 7200);
  description.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
  description.lfCharSet = DEFAULT_CHARSET;
  std::wcscpy(description.lfFaceName, L"Arial");
  return FontHandle(CreateFontIndirectW(&description));
}

IconHandle ProgramIcon(int size) {
  return IconHandle(static_cast<HICON>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(PORTGUI_ICON), IMAGE_ICON, size, size, 0)));
}

HWND MakeControl(HWND parent, const ControlLayout& control, int id) {
  const ControlClass kind = ClassOf(control.kind);
  const HWND made = CreateWindowExW(
      kind.exStyle, kind.name, FromUtf8(control.text).c_str(), WS_CHILD | WS_VISIBLE | kind.style, 0, 0, 0, 0, parent,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  if (!made) {
    const DWORD error = GetLastError();  // before building the message can change it
    ThrowWindowsError(std::string("Cannot create ") + control.name, error);
  }
  if (control.maxLength > 0) SendMessageW(made, EM_LIMITTEXT, control.maxLength, 0);
  if (control.kind == ControlKind::Picture) SetWindowSubclass(made, PassColoursUp, 0, 0);
  return made;
}

}  // namespace gui
