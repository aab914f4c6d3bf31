#include "port_window.h"

#include <algorithm>

#include "form_parts.h"
#include "windows_text.h"

namespace gui {

namespace {

// IsDialogMessage turns Enter and Esc into clicks of ids 1 and 2, which no
// control has: there is no default and no cancel button.
constexpr int kFirstControlId = 100;

const std::wstring& ClassName() {
  static const std::wstring name = L"portconfig." + FromUtf8(kFormName);
  return name;
}

}  // namespace

PortWindow::PortWindow(const FormLayout& layout, ServerTree tree)
    : ProgramWindow(layout.mode, std::move(tree)),
      layout_(layout),
      caption_(FromUtf8(layout.caption)),
      style_(layout.frame == Frame::None ? WS_POPUP : WS_CAPTION | WS_SYSMENU),
      controls_(layout.controls.size()) {
  [[maybe_unused]] static const bool registered = (RegisterWindowClass(ClassName(), Procedure), true);  // once
  // Where the system opens it: a window with a title bar on the monitor the
  // program was started for, one without on the main monitor. The handle is
  // not taken from the result: Procedure keeps it at WM_NCCREATE, the first
  // message, for the messages that come before CreateWindowExW returns, and
  // clears it at WM_NCDESTROY should the creation fail after that.
  CreateWindowExW(0, ClassName().c_str(), caption_.c_str(), style_, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, nullptr,
                  nullptr, GetModuleHandleW(nullptr), this);
  if (!window_) {
    const DWORD error = GetLastError();
    ThrowWindowsError("Cannot create the window", error);
  }
  try {
    CreateControls();
    LayOut(GetDpiForWindow(window_));
    CentreOnMonitor(window_, WindowSize(layout_, style_, dpi_));
  } catch (...) {
    DestroyWindow(window_);
    throw;
  }
}

PortWindow::~PortWindow() {
  if (window_) DestroyWindow(window_);
}

void PortWindow::CreateControls() {
  // IsDialogMessage's Tab follows the order siblings are made in.
  for (const Creation& step : CreationOrder(layout_)) {
    const ControlLayout& control = layout_.controls[step.control];
    if (control.kind == ControlKind::Line) continue;  // drawn by the window
    const HWND parent = step.container == kOnForm ? window_ : controls_[step.container];
    controls_[step.control] = MakeControl(parent, control, kFirstControlId + static_cast<int>(step.control));
  }
}

void PortWindow::LayOut(UINT dpi) {
  dpi_ = dpi;
  std::vector<std::pair<Font, FontHandle>> fonts;
  for (size_t index = 0; index < controls_.size(); ++index) {
    if (!controls_[index]) continue;
    const ControlLayout& control = layout_.controls[index];
    const RECT place = PixelRect(control.place, dpi);
    MoveWindow(controls_[index], place.left, place.top, place.right - place.left, place.bottom - place.top, FALSE);
    auto font = std::find_if(fonts.begin(), fonts.end(), [&](const auto& made) {
      return made.first.points == control.font.points && made.first.bold == control.font.bold;
    });
    if (font == fonts.end()) font = fonts.insert(fonts.end(), {control.font, ArialFont(control.font, dpi)});
    SendMessageW(controls_[index], WM_SETFONT, reinterpret_cast<WPARAM>(font->second.get()), FALSE);
  }
  fonts_ = std::move(fonts);  // the controls no longer use the old ones

  bannerIcon_ = ProgramIcon(FromPixels(kBanner.iconSize, dpi));
  IconHandle big = ProgramIcon(GetSystemMetricsForDpi(SM_CXICON, dpi));
  IconHandle small = ProgramIcon(GetSystemMetricsForDpi(SM_CXSMICON, dpi));
  SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.get()));
  SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.get()));
  bigIcon_ = std::move(big);
  smallIcon_ = std::move(small);
  RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

HWND PortWindow::ControlFor(Role role) const {
  for (size_t index = 0; index < controls_.size(); ++index)
    if (layout_.controls[index].role == role) return controls_[index];
  return nullptr;
}

const ControlLayout* PortWindow::LayoutOf(HWND control) const {
  const auto found = std::find(controls_.begin(), controls_.end(), control);
  return control && found != controls_.end() ? &layout_.controls[found - controls_.begin()] : nullptr;
}

std::string PortWindow::GetPortText() {
  const HWND box = ControlFor(Role::PortText);
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(box)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(box, text.data(), static_cast<int>(text.size()))));
  return ToAnsi(text);
}

void PortWindow::SetPortText(const std::string& text) {
  SetWindowTextW(ControlFor(Role::PortText), FromAnsi(text).c_str());
}

void PortWindow::AddUsedPort(const std::string& port) {
  SendMessageW(ControlFor(Role::UsedPorts), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(FromAnsi(port).c_str()));
}

void PortWindow::SetApplyEnabled(bool enabled) { EnableWindow(ControlFor(Role::Apply), enabled); }

void PortWindow::Close() { DestroyWindow(window_); }

void PortWindow::KeepAlive() {
  // Once the session has asked to end, the window is left as it is until
  // the step has ended: any message it took could be the session's
  // WM_ENDSESSION, and the program may be ended the moment that is answered.
  // Asked before each look, as the query may come in the middle of these.
  // Input is dropped, not left waiting: a click meant for the window as it
  // was would land on whatever the step leaves on screen.
  MSG message;
  while (!sessionWaits_ && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    const UINT id = message.message;
    const bool input = (id >= WM_KEYFIRST && id <= WM_KEYLAST) || (id >= WM_MOUSEFIRST && id <= WM_MOUSELAST) ||
                       (id >= WM_NCMOUSEMOVE && id <= WM_NCXBUTTONDBLCLK);
    if (!input) DispatchMessageW(&message);
  }
}

void PortWindow::WhileBusy(const std::function<void()>& work) {
  const CursorScope shown(IDC_WAIT);
  const ShutdownBlock blocked(window_, L"Finishing its work on the web server's port.");
  work();
  sessionWaits_ = false;
}

// A standard box: the first lines of a failed command's output, which the
// text holds, are all it shows.
void PortWindow::ShowBox(const std::string& text, BoxIcon icon, const std::string&) {
  gui::ShowBox(window_, caption_, text, icon);
}

void PortWindow::Reveal() { ShowWindow(window_, SW_SHOW); }

void PortWindow::PointToOtherCopy() {
  // Its window, or the box it shows, comes to the front. This one has the
  // same class, and the other may have none yet.
  HWND other = FindWindowExW(nullptr, nullptr, ClassName().c_str(), nullptr);
  if (other == window_) other = FindWindowExW(nullptr, other, ClassName().c_str(), nullptr);
  if (!other) return;
  if (IsIconic(other)) ShowWindow(other, SW_RESTORE);
  SetForegroundWindow(GetLastActivePopup(other));
}

void PortWindow::SelectPort() {
  const HWND box = ControlFor(Role::PortText);
  SetFocus(box);
  // Selected from its end back to its start, so the caret sits at the start.
  SendMessageW(box, EM_SETSEL, GetWindowTextLengthW(box), 0);
  SendMessageW(box, EM_SCROLLCARET, 0, 0);
}

void PortWindow::Ended(int) {
  // Wakes the program's loop (RunProgram), so that it sees the program has
  // ended: the window can close in a message another thread or process sent,
  // which GetMessageW handles inside and then goes on waiting. Not
  // PostQuitMessage: the thread can outlive the window, and a WM_QUIT left in
  // its queue would end the next message box the moment it opened.
  PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
}

LRESULT CALLBACK PortWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // The window's first message: the handle is kept here, not taken from
  // CreateWindowExW, as the messages before that returns need it too.
  if (message == WM_NCCREATE) {
    auto* self = static_cast<PortWindow*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<PortWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    self->window_ = nullptr;
    std::fill(self->controls_.begin(), self->controls_.end(), nullptr);
    return DefWindowProcW(window, message, wParam, lParam);
  }
  return self->Handle(message, wParam, lParam);
}

LRESULT PortWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      OnCommand(HIWORD(wParam), reinterpret_cast<HWND>(lParam));
      return 0;
    case WM_CTLCOLORSTATIC:
      if (const HBRUSH brush = OnCtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)))
        return reinterpret_cast<LRESULT>(brush);
      break;
    case WM_DRAWITEM:
      if (OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam))) return TRUE;
      break;
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_PRINTCLIENT:
      PaintLines(reinterpret_cast<HDC>(wParam), layout_, dpi_);
      return 0;
    case WM_ACTIVATE:
      OnActivate(LOWORD(wParam));
      break;  // activated, the window takes the focus and hands it on (WM_SETFOCUS)
    case WM_SETFOCUS:
      if (lastFocus_) SetFocus(lastFocus_);
      return 0;
    case WM_DPICHANGED:
      OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    case WM_CLOSE:  // the program's own close does not come this way
      if (!MayClose(true)) return 0;
      break;
    case WM_QUERYENDSESSION:  // refused while a step runs; its WM_ENDSESSION then waits for it
      sessionWaits_ = !MayClose(true);
      return !sessionWaits_;
    case WM_SETCURSOR:
      if (!busy()) break;
      SetCursor(LoadCursorW(nullptr, IDC_WAIT));
      return TRUE;
    case WM_DESTROY:
      OnClosed();
      return 0;
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

void PortWindow::OnCommand(WORD code, HWND control) {
  // A click names its control. Enter on a focused button is that button's
  // click, as in any dialog; elsewhere IsDialogMessage makes Enter and Esc
  // ids 1 and 2 from no control, which do nothing.
  if (code != BN_CLICKED || !control) return;
  if (const ControlLayout* clicked = LayoutOf(control)) Press(clicked->role);
}

HBRUSH PortWindow::OnCtlColorStatic(HDC dc, HWND label) {
  const ControlLayout* control = LayoutOf(label);
  if (!control || !control->transparent) return nullptr;
  SetBkMode(dc, TRANSPARENT);
  return static_cast<HBRUSH>(GetStockObject(HOLLOW_BRUSH));
}

bool PortWindow::OnDrawItem(const DRAWITEMSTRUCT& item) {
  // The one owner-drawn control is the picture box with the banner.
  if (item.CtlType != ODT_STATIC) return false;
  DrawBanner(item.hDC, item.rcItem, bannerIcon_.get(), dpi_);
  return true;
}

void PortWindow::OnPaint() {
  PAINTSTRUCT paint;
  const HDC dc = BeginPaint(window_, &paint);
  PaintLines(dc, layout_, dpi_);
  EndPaint(window_, &paint);
}

void PortWindow::OnActivate(WORD state) {
  if (state != WA_INACTIVE) return;
  // Kept to be given back when the window is active again.
  const HWND focus = GetFocus();
  if (focus && IsChild(window_, focus)) lastFocus_ = focus;
}

void PortWindow::OnDpiChanged(UINT dpi, const RECT& suggested) {
  LayOut(dpi);
  const SIZE size = WindowSize(layout_, style_, dpi_);
  SetWindowPos(window_, nullptr, suggested.left, suggested.top, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace gui
