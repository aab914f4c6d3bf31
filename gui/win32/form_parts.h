#pragma once

// A window's controls as Win32 windows, built from its layout table: twips to
// pixels for a DPI, the window's size and place, Arial fonts, the icon and
// the standard controls.

#include <windows.h>

#include <string>

#include "form_layout.h"
#include "handles.h"

namespace gui {

// Registers the class of the programs' windows. Throws when the system cannot.
void RegisterWindowClass(const std::wstring& name, WNDPROC procedure);

int FromTwips(int twips, UINT dpi);
// A size given in pixels at 96 DPI, such as a line's width.
int FromPixels(int pixels, UINT dpi);
// Edges are converted, not sizes, so controls that meet in twips meet on
// screen at every DPI.
RECT PixelRect(const Twips& place, UINT dpi);

// The size of a window of the style whose client area is the layout's.
SIZE WindowSize(const FormLayout& layout, DWORD style, UINT dpi);
// Gives the window the size, centred on the work area of its monitor.
void CentreOnMonitor(HWND window, SIZE size);

FontHandle ArialFont(const Font& font, UINT dpi);
// The program's icon at the size, from the closest of its pictures.
IconHandle ProgramIcon(int size);

// A new child window of the parent for the control (not a line, which is
// drawn), with the id, its text and limit, not yet placed. Throws when the
// system cannot make it.
HWND MakeControl(HWND parent, const ControlLayout& control, int id);

}  // namespace gui
