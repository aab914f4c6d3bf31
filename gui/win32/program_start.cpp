// The Win32 programs' start and end: each program's main hands its layout here.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include "message_box.h"
#include "port_window.h"
#include "program_end.h"
#include "program_start.h"
#include "program_window.h"
#include "windows_text.h"

namespace gui {

namespace {

// Hands a message of the thread to the window's keyboard interface (Tab,
// Shift+Tab, Enter and Space on a button) or else to its target.
void Deliver(const PortWindow& window, MSG& message) {
  if (window.hwnd() && IsDialogMessageW(window.hwnd(), &message)) return;
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

}  // namespace

int RunProgram(int, char**, const FormLayout& layout) {
  return RunReportingErrors(
      [&] {
        const INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&controls);
        PortWindow window(layout);
        return window.RunUntilEnded([&] {
          MSG message;
          while (!window.exitCode() && GetMessageW(&message, nullptr, 0, 0) > 0) Deliver(window, message);
        });
      },
      [&](const std::string& text) { ShowBox(nullptr, FromUtf8(layout.caption), text, BoxIcon::Error); });
}

}  // namespace gui
