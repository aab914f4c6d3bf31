#pragma once

// The programs' message boxes.

#include <windows.h>

#include <string>

#include "program_window.h"

namespace gui {

// A modal message box over the window, or on its own when there is none,
// its text cut to fit the monitor.
void ShowBox(HWND over, const std::wstring& caption, const std::string& text, BoxIcon icon);

}  // namespace gui
