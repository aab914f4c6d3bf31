#pragma once

// What the window draws itself: the table's lines and the setup page's banner.

#include <windows.h>

#include "form_layout.h"

namespace gui {

// The table's lines, across the window's client area.
void PaintLines(HDC dc, const FormLayout& layout, UINT dpi);
// The banner, in the picture box's area.
void DrawBanner(HDC dc, const RECT& box, HICON icon, UINT dpi);

}  // namespace gui
