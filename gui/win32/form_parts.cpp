#include "form_parts.h"

#include <commctrl.h>

#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>

#include "program_end.h"
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

COLORREF FromRgb(unsigned rgb) { return RGB((rgb >> 16) & 0xff, (rgb >> 8) & 0xff, rgb & 0xff); }

// The picture box passes its labels' colour requests on to the window, which
// knows which labels are transparent.
LRESULT CALLBACK PassColoursUp(HWND picture, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR) {
  if (message == WM_CTLCOLORSTATIC) return SendMessageW(GetParent(picture), message, wParam, lParam);
  if (message == WM_NCDESTROY) RemoveWindowSubclass(picture, PassColoursUp, id);
  return DefSubclassProc(picture, message, wParam, lParam);
}

// The text with every run wider than three quarters of the monitor's work
// area cut, as measured in the font message boxes use there.
std::wstring FittedToMonitor(HWND over, const std::wstring& text) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0,
                             over ? GetDpiForWindow(over) : GetDpiForSystem());
  const FontHandle font(CreateFontIndirectW(&metrics.lfMessageFont));
  const ScreenText screen(font.get());
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(over, MONITOR_DEFAULTTOPRIMARY), &monitor);
  return CutToWidth(text, (monitor.rcWork.right - monitor.rcWork.left) * 3 / 4, [&](const std::wstring& run) {
    SIZE size{};
    GetTextExtentPoint32W(screen.get(), run.c_str(), static_cast<int>(run.size()), &size);
    return static_cast<int>(size.cx);
  });
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

void PaintLines(HDC dc, const FormLayout& layout, UINT dpi) {
  for (const ControlLayout& control : layout.controls) {
    if (control.kind != ControlKind::Line) continue;
    const int top = FromTwips(control.place.top, dpi);
    const RECT line{FromTwips(control.place.left, dpi), top, FromTwips(control.place.left + control.place.width, dpi),
                    top + FromPixels(1, dpi)};
    FillRect(dc, &line,
             GetSysColorBrush(control.lineColour == LineColour::DarkShadow ? COLOR_3DDKSHADOW : COLOR_3DHILIGHT));
  }
}

void DrawBanner(HDC dc, const RECT& box, HICON icon, UINT dpi) {
  FillRect(dc, &box, GetSysColorBrush(COLOR_BTNFACE));
  const RECT strip{0, 0, FromPixels(kBanner.width, dpi), FromPixels(kBanner.height, dpi)};
  FillRect(dc, &strip, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  const RECT rule{strip.left, strip.bottom - FromPixels(1, dpi), strip.right, strip.bottom};
  SetDCBrushColor(dc, FromRgb(kBanner.ruleRgb));
  FillRect(dc, &rule, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
  const int size = FromPixels(kBanner.iconSize, dpi);
  DrawIconEx(dc, FromPixels(kBanner.iconLeft, dpi), FromPixels(kBanner.iconTop, dpi), icon, size, size, 0, nullptr,
             DI_NORMAL);
}

void ShowBox(HWND over, const std::wstring& caption, const std::string& text, BoxIcon icon) {
  const CursorScope shown(IDC_ARROW);
  MessageBoxW(over, FittedToMonitor(over, FromAnsi(text)).c_str(), caption.c_str(),
              MB_OK | (icon == BoxIcon::Error ? MB_ICONERROR : 0));
}

}  // namespace gui
