#include "port_window.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <stdexcept>

#include "program_end.h"
#include "resource_ids.h"
#include "wide_text.h"

namespace gui {

namespace {

constexpr wchar_t kClassName[] = L"portconfig.Form1";
constexpr char kWindowName[] = "Form1";
// IsDialogMessage turns Enter and Esc into clicks of ids 1 and 2, which no
// control has: there is no default and no cancel button.
constexpr int kFirstControlId = 100;
constexpr int kTwipsPerInch = 1440;

int FromTwips(int twips, UINT dpi) { return MulDiv(twips, static_cast<int>(dpi), kTwipsPerInch); }

// A size given in pixels at 96 DPI, such as a line's width.
int FromPixels(int pixels, UINT dpi) { return MulDiv(pixels, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI); }

// Edges are converted, not sizes, so controls that meet in twips meet on
// screen at every DPI.
RECT PixelRect(const Twips& place, UINT dpi) {
  return {FromTwips(place.left, dpi), FromTwips(place.top, dpi), FromTwips(place.left + place.width, dpi),
          FromTwips(place.top + place.height, dpi)};
}

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

FontHandle ArialFont(const Font& font, UINT dpi) {
  LOGFONTW description{};
  // Whole hundredths of a point, so 8.25 pt keeps its quarter.
  description.lfHeight = -MulDiv(static_cast<int>(std::lround(font.points * 100)), static_cast<int>(dpi), 7200);
  description.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
  description.lfCharSet = DEFAULT_CHARSET;
  std::wcscpy(description.lfFaceName, L"Arial");
  return FontHandle(CreateFontIndirectW(&description));
}

// The program's icon at the size, from the closest of its pictures.
IconHandle ProgramIcon(int size) {
  return IconHandle(static_cast<HICON>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(PORTGUI_ICON), IMAGE_ICON, size, size, 0)));
}

COLORREF FromRgb(unsigned rgb) { return RGB((rgb >> 16) & 0xff, (rgb >> 8) & 0xff, rgb & 0xff); }

// Taken before building the message can change it.
[[noreturn]] void ThrowLastError(const char* what, const char* name = "") {
  const DWORD error = GetLastError();
  throw std::runtime_error(std::string(what) + name + " (error " + std::to_string(error) + ")");
}

// The picture box passes its labels' colour requests on to the window, which
// knows which labels are transparent.
LRESULT CALLBACK PassColoursUp(HWND picture, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR) {
  if (message == WM_CTLCOLORSTATIC) return SendMessageW(GetParent(picture), message, wParam, lParam);
  if (message == WM_NCDESTROY) RemoveWindowSubclass(picture, PassColoursUp, id);
  return DefSubclassProc(picture, message, wParam, lParam);
}

}  // namespace

PortWindow::PortWindow(const FormLayout& layout, ServerTree tree)
    : layout_(layout),
      caption_(FromUtf8(layout.caption)),
      style_(layout.frame == Frame::None ? WS_POPUP : WS_CAPTION | WS_SYSMENU),
      controller_(layout.mode, *this, std::move(tree)),
      controls_(layout.controls.size()) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  static const ATOM registered = [instance] {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    return RegisterClassExW(&windowClass);
  }();
  if (!registered) ThrowLastError("Cannot register the window class");
  // Where the system opens it: a window with a title bar on the monitor the
  // program was started for, one without on the main monitor.
  CreateWindowExW(0, kClassName, caption_.c_str(), style_, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, nullptr, nullptr,
                  instance, this);
  if (!window_) ThrowLastError("Cannot create the window");
  try {
    CreateControls();
    LayOut(GetDpiForWindow(window_));
    PlaceOnMonitor();
  } catch (...) {
    DestroyWindow(window_);
    throw;
  }
}

PortWindow::~PortWindow() {
  if (window_) DestroyWindow(window_);
}

void PortWindow::CreateControls() {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  std::vector<size_t> order(layout_.controls.size());
  std::iota(order.begin(), order.end(), 0);
  // Siblings are made in tab order, which IsDialogMessage follows.
  std::stable_sort(order.begin(), order.end(),
                   [this](size_t a, size_t b) { return layout_.controls[a].tabIndex < layout_.controls[b].tabIndex; });
  // The window's own controls first, so a picture box is there for its labels.
  for (const bool onWindow : {true, false}) {
    for (const size_t index : order) {
      const ControlLayout& control = layout_.controls[index];
      if (control.kind == ControlKind::Line || (std::strcmp(control.container, kWindowName) == 0) != onWindow) continue;
      const HWND parent = onWindow ? window_ : Control(control.container);
      if (!parent) throw std::logic_error(std::string("no container ") + control.container);
      const ControlClass kind = ClassOf(control.kind);
      const HWND created = CreateWindowExW(
          kind.exStyle, kind.name, FromUtf8(control.text).c_str(), WS_CHILD | WS_VISIBLE | kind.style, 0, 0, 0, 0,
          parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstControlId + index)), instance, nullptr);
      if (!created) ThrowLastError("Cannot create ", control.name);
      controls_[index] = created;
      if (control.maxLength > 0) SendMessageW(created, EM_LIMITTEXT, control.maxLength, 0);
      if (control.kind == ControlKind::Picture) SetWindowSubclass(created, PassColoursUp, 0, 0);
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

SIZE PortWindow::WindowSize() const {
  RECT frame{0, 0, FromTwips(layout_.width, dpi_), FromTwips(layout_.height, dpi_)};
  AdjustWindowRectExForDpi(&frame, style_, FALSE, 0, dpi_);
  return {frame.right - frame.left, frame.bottom - frame.top};
}

void PortWindow::PlaceOnMonitor() {
  const SIZE size = WindowSize();
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& work = monitor.rcWork;
  // A window larger than the work area keeps its top left corner on it.
  const int left = std::max(work.left, work.left + (work.right - work.left - size.cx) / 2);
  const int top = std::max(work.top, work.top + (work.bottom - work.top - size.cy) / 2);
  SetWindowPos(window_, nullptr, left, top, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND PortWindow::Control(const char* name) const {
  for (size_t index = 0; index < controls_.size(); ++index)
    if (std::strcmp(layout_.controls[index].name, name) == 0) return controls_[index];
  throw std::logic_error(std::string("no control ") + name);
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

std::optional<int> PortWindow::Start() {
  Run(&PortController::Start);
  if (exitCode_) return exitCode_;
  ShowWindow(window_, SW_SHOW);
  FocusPortText();
  return std::nullopt;
}

void PortWindow::Run(void (PortController::*step)()) {
  std::optional<std::string> error;
  {
    const CursorScope wait(IDC_WAIT);
    error = RunStep(controller_, step);
  }
  if (!error) return;
  ShowBox(FromAnsi(*error), MB_ICONERROR);
  EndProgram(kFailed);
  Close();
}

void PortWindow::OnClicked(HWND control) {
  const ControlLayout* clicked = LayoutOf(control);
  if (!clicked) return;
  if (clicked->role == Role::Exit) return Close();
  if (clicked->role != Role::Apply) return;
  Run(&PortController::RequestChange);
  // After a refusal the user corrects the port.
  if (!exitCode_) FocusPortText();
}

void PortWindow::FocusPortText() {
  const HWND box = ControlFor(Role::PortText);
  SetFocus(box);
  // All of it selected, so that typing replaces the port, with the caret at
  // the start, so that the box shows it from its first character.
  SendMessageW(box, EM_SETSEL, GetWindowTextLengthW(box), 0);
  SendMessageW(box, EM_SCROLLCARET, 0, 0);
}

void PortWindow::ShowBox(const std::wstring& text, UINT icon) {
  // A box waits for the user, so it is not covered by the busy cursor.
  const CursorScope arrow(IDC_ARROW);
  MessageBoxW(window_, text.c_str(), caption_.c_str(), MB_OK | icon);
}

void PortWindow::EndProgram(int exitCode) {
  if (!exitCode_) exitCode_ = exitCode;
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

void PortWindow::ShowMessage(const std::string& text) { ShowBox(FromAnsi(text), 0); }

void PortWindow::Close() { DestroyWindow(window_); }

void PortWindow::PaintLines(HDC dc) const {
  for (const ControlLayout& control : layout_.controls) {
    if (control.kind != ControlKind::Line) continue;
    const int top = FromTwips(control.place.top, dpi_);
    const RECT line{FromTwips(control.place.left, dpi_), top, FromTwips(control.place.left + control.place.width, dpi_),
                    top + FromPixels(1, dpi_)};
    FillRect(dc, &line,
             GetSysColorBrush(control.lineColour == LineColour::DarkShadow ? COLOR_3DDKSHADOW : COLOR_3DHILIGHT));
  }
}

void PortWindow::DrawBanner(HDC dc, const RECT& box) const {
  FillRect(dc, &box, GetSysColorBrush(COLOR_BTNFACE));
  const RECT strip{0, 0, FromPixels(kBanner.width, dpi_), FromPixels(kBanner.height, dpi_)};
  FillRect(dc, &strip, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  const RECT rule{strip.left, strip.bottom - FromPixels(1, dpi_), strip.right, strip.bottom};
  SetDCBrushColor(dc, FromRgb(kBanner.ruleRgb));
  FillRect(dc, &rule, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
  const int icon = FromPixels(kBanner.iconSize, dpi_);
  DrawIconEx(dc, FromPixels(kBanner.iconLeft, dpi_), FromPixels(kBanner.iconTop, dpi_), bannerIcon_.get(), icon, icon,
             0, nullptr, DI_NORMAL);
}

LRESULT CALLBACK PortWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
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
      // Enter arrives as a click of id 1 from the focused control: on a
      // button it presses that button, as in any dialog; elsewhere nothing.
      if (HIWORD(wParam) == BN_CLICKED && lParam) OnClicked(reinterpret_cast<HWND>(lParam));
      return 0;
    case WM_CTLCOLORSTATIC:
      if (const ControlLayout* label = LayoutOf(reinterpret_cast<HWND>(lParam)); label && label->transparent) {
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetStockObject(HOLLOW_BRUSH));
      }
      break;
    case WM_DRAWITEM:
      if (const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam); item->CtlType == ODT_STATIC) {
        DrawBanner(item->hDC, item->rcItem);
        return TRUE;
      }
      break;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      const HDC dc = BeginPaint(window_, &paint);
      PaintLines(dc);
      EndPaint(window_, &paint);
      return 0;
    }
    case WM_PRINTCLIENT:
      PaintLines(reinterpret_cast<HDC>(wParam));
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        const HWND focus = GetFocus();
        if (focus && IsChild(window_, focus)) lastFocus_ = focus;
      }
      break;  // activated, the window takes the focus and hands it on
    case WM_SETFOCUS:
      if (lastFocus_) SetFocus(lastFocus_);
      return 0;
    case WM_DPICHANGED: {
      LayOut(HIWORD(wParam));
      const RECT& suggested = *reinterpret_cast<const RECT*>(lParam);
      const SIZE size = WindowSize();
      SetWindowPos(window_, nullptr, suggested.left, suggested.top, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_DESTROY:
      EndProgram(ExitCodeOnClose(controller_));
      // Wakes a message loop waiting for the program's end.
      PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
      return 0;
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

void Deliver(const PortWindow& window, MSG& message) {
  if (window.hwnd() && IsDialogMessageW(window.hwnd(), &message)) return;
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

}  // namespace gui
