#pragma once

// Owners for the Win32 objects the windows make, each given back once by the
// call that belongs to it.

#include <windows.h>

#include <memory>
#include <type_traits>

namespace gui {

struct GdiObjectDeleter {
  void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
struct IconDeleter {
  void operator()(HICON icon) const { DestroyIcon(icon); }
};

using FontHandle = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiObjectDeleter>;
using IconHandle = std::unique_ptr<std::remove_pointer_t<HICON>, IconDeleter>;

// The screen's device context with a font selected into it, while it lives,
// for measuring text.
class ScreenText {
 public:
  explicit ScreenText(HFONT font) : dc_(GetDC(nullptr)), before_(SelectObject(dc_, font)) {}
  ScreenText(const ScreenText&) = delete;
  ScreenText& operator=(const ScreenText&) = delete;
  ~ScreenText() {
    SelectObject(dc_, before_);
    ReleaseDC(nullptr, dc_);
  }
  HDC get() const { return dc_; }

 private:
  HDC dc_;
  HGDIOBJ before_;
};

// Shows a cursor for as long as it lives, then the one before it, or the
// arrow when there was none yet (none would hide the pointer).
class CursorScope {
 public:
  explicit CursorScope(const wchar_t* cursor) : previous_(SetCursor(LoadCursorW(nullptr, cursor))) {}
  CursorScope(const CursorScope&) = delete;
  CursorScope& operator=(const CursorScope&) = delete;
  ~CursorScope() { SetCursor(previous_ ? previous_ : LoadCursorW(nullptr, IDC_ARROW)); }

 private:
  HCURSOR previous_;
};

// While it lives, a user who ends the session is told why the program holds
// it up.
class ShutdownBlock {
 public:
  ShutdownBlock(HWND window, const wchar_t* reason) : window_(window) { ShutdownBlockReasonCreate(window, reason); }
  ShutdownBlock(const ShutdownBlock&) = delete;
  ShutdownBlock& operator=(const ShutdownBlock&) = delete;
  ~ShutdownBlock() { ShutdownBlockReasonDestroy(window_); }

 private:
  HWND window_;
};

}  // namespace gui
