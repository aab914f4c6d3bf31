#include "message_box.h"

#include "box_text.h"
#include "handles.h"
#include "windows_text.h"

namespace gui {

namespace {

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

void ShowBox(HWND over, const std::wstring& caption, const std::string& text, BoxIcon icon) {
  const CursorScope shown(IDC_ARROW);
  MessageBoxW(over, FittedToMonitor(over, FromAnsi(text)).c_str(), caption.c_str(),
              MB_OK | (icon == BoxIcon::Error ? MB_ICONERROR : 0));
}

}  // namespace gui
