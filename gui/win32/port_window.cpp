#include "port_window.h"

#include <algorithm>

#include "drawing.h"
#include "form_parts.h"
#include "message_box.h"
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

// A step run on a fiber of its own: the window's thread answers the system
// between the step's waits, and goes on with the step from inside an answer
// that must not return before the step has ended (the session's end).
class StepFiber {
 public:
  explicit StepFiber(const std::function<void()>& work) : work_(work), caller_(ConvertThreadToFiber(nullptr)) {
    if (caller_) fiber_ = CreateFiber(0, Run, this);
    if (!fiber_) {
      const DWORD error = GetLastError();
      if (caller_) ConvertFiberToThread();
      ThrowWindowsError("Cannot make a fiber for the step", error);
    }
  }
  StepFiber(const StepFiber&) = delete;
  StepFiber& operator=(const StepFiber&) = delete;
  ~StepFiber() {
    DeleteFiber(fiber_);
    ConvertFiberToThread();
  }

  // From outside the step: runs it until it next waits, or has ended. False
  // once it has ended.
  bool Resume() {
    if (!done_ && !running_) {
      running_ = true;
      SwitchToFiber(fiber_);
      running_ = false;
    }
    return !done_;
  }
  // From the step: lets the thread go on where it last resumed the step.
  void Pause() { SwitchToFiber(caller_); }
  bool ended() const { return done_; }

 private:
  static void CALLBACK Run(void* self) {
    auto& step = *static_cast<StepFiber*>(self);
    step.work_();
    step.done_ = true;
    step.Pause();  // a fiber never returns: that would end the thread
  }

  const std::function<void()>& work_;
  void* caller_;
  void* fiber_ = nullptr;
  bool running_ = false;  // the thread is in the step
  bool done_ = false;
};

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
    const HWND made = MakeControl(parent, control, kFirstControlId + static_cast<int>(step.control));
    controls_[step.control] = made;
    switch (control.role) {
      case Role::PortText:
        roles_.portText = made;
        break;
      case Role::UsedPorts:
        roles_.usedPorts = made;
        break;
      case Role::Apply:
        roles_.apply = made;
        break;
      case Role::Exit:
        roles_.exit = made;
        break;
      case Role::None:
        break;
    }
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

const ControlLayout* PortWindow::LayoutOf(HWND control) const {
  const auto found = std::find(controls_.begin(), controls_.end(), control);
  return control && found != controls_.end() ? &layout_.controls[found - controls_.begin()] : nullptr;
}

std::string PortWindow::GetPortText() {
  const HWND box = roles_.portText;
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(box)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(box, text.data(), static_cast<int>(text.size()))));
  return ToAnsi(text);
}

void PortWindow::SetPortText(const std::string& text) { SetWindowTextW(roles_.portText, FromAnsi(text).c_str()); }

void PortWindow::AddUsedPort(const std::string& port) {
  SendMessageW(roles_.usedPorts, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(FromAnsi(port).c_str()));
}

void PortWindow::SetApplyEnabled(bool enabled) { EnableWindow(roles_.apply, enabled); }

void PortWindow::Close() { DestroyWindow(window_); }

void PortWindow::KeepAlive() {
  // Once the user has ended the session, the step goes on to its end
  // without a pause: the session waits for it.
  if (step_ && !sessionEnds_) step_->Pause();
}

void PortWindow::WhileBusy(const std::function<void()>& work) {
  const CursorScope shown(IDC_WAIT);
  const ShutdownBlock blocked(window_, L"Finishing its work on the web server's port.");
  // It takes no click while the step runs, and looks it.
  EnableWindow(roles_.exit, FALSE);
  StepFiber step(work);
  step_ = &step;
  while (step.Resume()) AnswerWhileBusy();
  step_ = nullptr;
  sessionEnds_ = false;
  EnableWindow(roles_.exit, TRUE);
}

void PortWindow::AnswerWhileBusy() {
  // Input is dropped, not left waiting: a click meant for the window as it
  // was would land on whatever the step leaves on screen.
  MSG message;
  while (!step_->ended() && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    const UINT id = message.message;
    const bool input = (id >= WM_KEYFIRST && id <= WM_KEYLAST) || (id >= WM_MOUSEFIRST && id <= WM_MOUSELAST) ||
                       (id >= WM_NCMOUSEMOVE && id <= WM_NCXBUTTONDBLCLK);
    if (!input) DispatchMessageW(&message);
  }
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
  const HWND box = roles_.portText;
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
    self->roles_ = {};
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
    case WM_QUERYENDSESSION:  // refused while a step runs
      return MayClose(true);
    case WM_ENDSESSION:
      // The user ended the session all the same: the answer waits for the
      // step, which goes on from here, the window no longer painting.
      if (wParam && busy() && step_) {
        sessionEnds_ = true;
        while (step_->Resume()) continue;
      }
      return 0;
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
