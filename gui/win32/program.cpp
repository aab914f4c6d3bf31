// The Win32 programs' start and end: each program's main hands its layout here.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <exception>

#include "port_window.h"
#include "program_end.h"
#include "program_start.h"
#include "windows_text.h"

namespace gui {

int RunProgram(int, char**, const FormLayout& layout) {
  try {
    const INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    PortWindow window(layout);
    if (const std::optional<int> exitCode = window.Open()) return *exitCode;
    MSG message;
    while (!window.exitCode() && GetMessageW(&message, nullptr, 0, 0) > 0) Deliver(window, message);
    return window.exitCode().value_or(kNotApplied);
  } catch (const std::exception& error) {
    // The window could not be made; there is nothing else to tell it with.
    MessageBoxW(nullptr, FromAnsi(ErrorBoxText(error)).c_str(), FromUtf8(layout.caption).c_str(), MB_OK | MB_ICONERROR);
    return kFailed;
  }
}

}  // namespace gui
