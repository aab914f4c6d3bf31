// Both programs' Win32 windows in this process, on a tree of stand-ins: how
// each is built from its table, takes keys and refuses.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "kit/refusal_cases.h"
#include "port_window.h"
#include "portchange/form1_layout.h"
#include "portsetup/form1_layout.h"
#include "windows_kit.h"
#include "windows_text.h"

namespace {

using gui::ControlKind;
using gui::PortWindow;

const gui::FormLayout* const kLayouts[] = {&portsetup::kForm1Layout, &portchange::kForm1Layout};
const char* NameOf(const gui::FormLayout& layout) { return &layout == kLayouts[0] ? "portsetup" : "portchange"; }

// The window as drawn, frame and all, as screenshots/<name>.ppm in the
// working folder, for the leg to convert.
void SaveScreenshot(HWND window, const std::string& name) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  RECT frame;
  GetWindowRect(window, &frame);
  const LONG width = frame.right - frame.left;
  const LONG height = frame.bottom - frame.top;
  std::string picture = "P6 " + std::to_string(width) + " " + std::to_string(height) + " 255\n";
  const HDC dc = GetWindowDC(window);
  for (int at = 0; at < width * height; ++at) {
    const COLORREF pixel = GetPixel(dc, at % width, at / width);
    picture += {char(GetRValue(pixel)), char(GetGValue(pixel)), char(GetBValue(pixel))};
  }
  ReleaseDC(window, dc);
  CreateDirectoryW(L"screenshots", nullptr);
  WriteFile("screenshots\\" + name + ".ppm", picture);
}

// Hands a message for the focused control to the window, as the program's
// loop does.
void Send(const PortWindow& window, UINT message, WPARAM key) {
  MSG sent{GetFocus(), message, key, 0, 0, {}};
  gui::Deliver(window, sent);
}

void Type(const PortWindow& window, const std::string& text) {
  for (const char c : text) Send(window, WM_CHAR, static_cast<unsigned char>(c));
}

// The port box has the focus and all of its text selected.
void ExpectPortTextReady(const PortWindow& window) {
  const HWND box = window.Control("Text1");
  EXPECT_EQ(GetFocus(), box);
  EXPECT_EQ(SendMessageW(box, EM_GETSEL, 0, 0), MAKELRESULT(0, GetWindowTextLengthW(box)));
}

// The window as its table lays it out, at a DPI that is a whole multiple of
// 96 so that twips convert to pixels exactly: its client area, each control's
// place in its container, class, styles, font and text, each line's colour.
void ExpectLaidOut(const PortWindow& window, const gui::FormLayout& layout, int scale) {
  const auto pixels = [scale](int twips) -> LONG { return twips / 15 * scale; };
  RECT client;
  GetClientRect(window.hwnd(), &client);
  EXPECT_EQ(std::make_pair(client.right, client.bottom), std::make_pair(pixels(layout.width), pixels(layout.height)));
  // By ControlKind, the class and its own styles (the low word) with the tab
  // stop: a left-aligned single-line box, an unsorted list, plain buttons.
  const std::pair<const wchar_t*, LONG_PTR> kinds[] = {{L"Static", SS_OWNERDRAW},
                                                       {L"Static", SS_NOPREFIX},
                                                       {L"Edit", WS_TABSTOP | ES_AUTOHSCROLL},
                                                       {L"ListBox", WS_TABSTOP | LBS_NOINTEGRALHEIGHT},
                                                       {L"Button", WS_TABSTOP | BS_PUSHBUTTON}};
  RedrawWindow(window.hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
  const HDC dc = GetDC(window.hwnd());
  for (const auto& control : layout.controls) {
    SCOPED_TRACE(control.name);
    const gui::Twips& twips = control.place;
    if (control.kind == ControlKind::Line) {
      const int colour = control.lineColour == gui::LineColour::DarkShadow ? COLOR_3DDKSHADOW : COLOR_3DHILIGHT;
      EXPECT_EQ(GetPixel(dc, pixels(twips.left) + 1, pixels(twips.top)), GetSysColor(colour));
      continue;
    }
    const HWND hwnd = window.Control(control.name);
    RECT place;
    GetWindowRect(hwnd, &place);
    MapWindowPoints(HWND_DESKTOP, GetParent(hwnd), reinterpret_cast<POINT*>(&place), 2);
    EXPECT_EQ((std::array<LONG, 4>{place.left, place.top, place.right - place.left, place.bottom - place.top}),
              (std::array<LONG, 4>{pixels(twips.left), pixels(twips.top), pixels(twips.width), pixels(twips.height)}));
    EXPECT_EQ(GetParent(hwnd),
              std::strcmp(control.container, "Form1") ? window.Control(control.container) : window.hwnd());
    const auto& [className, styles] = kinds[static_cast<int>(control.kind)];
    EXPECT_EQ(ClassOf(hwnd), className);
    EXPECT_EQ(GetWindowLongPtrW(hwnd, GWL_STYLE) & (WS_TABSTOP | 0xffff), styles);
    if (control.kind == ControlKind::Picture) continue;
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_EQ(font.lfHeight, -std::lround(control.font.points * 96 * scale / 72));
    EXPECT_EQ(font.lfWeight, control.font.bold ? FW_BOLD : FW_NORMAL);
    EXPECT_STREQ(font.lfFaceName, L"Arial");
    if (control.kind != ControlKind::TextBox && control.kind != ControlKind::ListBox) {
      EXPECT_EQ(TextOf(hwnd), FromUtf8(control.text));
    }
  }
  ReleaseDC(window.hwnd(), dc);
}

// The port is longer than the box lets the user type, and wider than the box.
TEST_F(DriveC, TheWindowIsBuiltFromItsTableAndTakesKeys) {
  for (const gui::FormLayout* layout : kLayouts) {
    SCOPED_TRACE(NameOf(*layout));
    const StandIns machine("C:\\port test", ("Listen " + std::string(40, '9') + "\r\n").c_str());
    PortWindow window(*layout, machine.tree);
    ASSERT_EQ(window.Open(), std::nullopt);
    ExpectLaidOut(window, *layout, 1);
    SaveScreenshot(window.hwnd(), NameOf(*layout));
    const LONG_PTR frames = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
    EXPECT_EQ(GetWindowLongPtrW(window.hwnd(), GWL_STYLE) & frames,
              layout->frame == gui::Frame::None ? WS_POPUP : WS_CAPTION | WS_SYSMENU);
    EXPECT_TRUE(SendMessageW(window.hwnd(), WM_GETICON, ICON_BIG, 0));
    EXPECT_TRUE(SendMessageW(window.hwnd(), WM_GETICON, ICON_SMALL, 0));
    RECT frame;
    GetWindowRect(window.hwnd(), &frame);
    MONITORINFO monitor{sizeof monitor, {}, {}, 0};
    GetMonitorInfoW(MonitorFromWindow(window.hwnd(), MONITOR_DEFAULTTONEAREST), &monitor);
    EXPECT_NEAR(frame.left + frame.right, monitor.rcWork.left + monitor.rcWork.right, 1);
    EXPECT_NEAR(frame.top + frame.bottom, monitor.rcWork.top + monitor.rcWork.bottom, 1);
    EXPECT_EQ(SendMessageW(window.Control("List1"), LB_GETCOUNT, 0, 0), 3) << "the canned netstat's ports";
    // Moved to a monitor of twice the DPI, it is laid out anew. Only a window
    // without a frame: a frame here stays at the real DPI.
    if (layout->frame == gui::Frame::None) {
      RECT suggested{0, 0, frame.right - frame.left, frame.bottom - frame.top};
      SendMessageW(window.hwnd(), WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
      ExpectLaidOut(window, *layout, 2);
    }

    EXPECT_EQ(TextOf(window.Control("Text1")), std::wstring(40, L'9'));
    ExpectPortTextReady(window);
    EXPECT_EQ(SendMessageW(window.Control("Text1"), EM_GETFIRSTVISIBLELINE, 0, 0), 0);
    Type(window, "1234567");
    EXPECT_EQ(TextOf(window.Control("Text1")), L"12345");
    // There is no default and no cancel button.
    Send(window, WM_KEYDOWN, VK_RETURN);
    Send(window, WM_KEYDOWN, VK_ESCAPE);
    EXPECT_EQ(window.exitCode(), std::nullopt);
    // Tab goes round in the table's order.
    std::vector<const gui::ControlLayout*> chain;
    for (const auto& control : layout->controls)
      if (gui::TakesFocus(control.kind)) chain.push_back(&control);
    std::stable_sort(chain.begin(), chain.end(), [](auto a, auto b) { return a->tabIndex < b->tabIndex; });
    for (size_t step = 1; step <= chain.size(); ++step) {
      Send(window, WM_KEYDOWN, VK_TAB);
      EXPECT_EQ(GetFocus(), window.Control(chain[step % chain.size()]->name)) << chain[step % chain.size()]->name;
    }
    // The focus comes back when another window has had the activation.
    Send(window, WM_KEYDOWN, VK_TAB);
    const HWND other =
        CreateWindowExW(0, L"Static", L"", WS_POPUP | WS_VISIBLE, 0, 0, 9, 9, nullptr, nullptr, nullptr, nullptr);
    SetActiveWindow(other);
    DestroyWindow(other);
    SetActiveWindow(window.hwnd());
    EXPECT_EQ(GetFocus(), window.Control(chain[1]->name));
  }
}

// Each box is answered with OK once on screen, as its user would: a timer's
// turn comes in the box's own loop, once the box is drawn.
TEST_F(DriveC, TheWindowRefusesEachRefusalCaseAndReturnsToThePort) {
  static std::vector<SeenBox> boxes;
  static bool arrow;  // the arrow, not the busy cursor, while a box waits
  for (const RefusalCase& refusal : kRefusalCases) {
    const gui::FormLayout& layout = *kLayouts[refusal.mode == ApplyMode::Setup ? 0 : 1];
    const std::string config = WithPort(refusal.config, "445");  // a port the canned netstat lists
    const std::string typed = WithPort(refusal.typed, "445");
    SCOPED_TRACE(std::string(NameOf(layout)) + ", " + config + "typed '" + typed + "'");
    const StandIns machine("C:\\port test", config.c_str());
    PortWindow window(layout, machine.tree);
    ASSERT_EQ(window.Open(), std::nullopt);
    Type(window, "\b" + typed);
    boxes.clear();
    arrow = true;
    const UINT_PTR timer = SetTimer(nullptr, 0, USER_TIMER_MINIMUM, [](HWND, UINT, UINT_PTR, DWORD) {
      const HWND box = GetActiveWindow();
      if (ClassOf(box) != L"#32770") return;
      SaveScreenshot(box, "message");
      boxes.push_back(ReadBox(box));
      arrow &= GetCursor() == LoadCursorW(nullptr, IDC_ARROW);
      SendMessageW(box, WM_COMMAND, IDOK, 0);
    });
    SendMessageW(window.Control("Command1"), BM_CLICK, 0, 0);
    KillTimer(nullptr, timer);

    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, FromUtf8(refusal.message));
    EXPECT_EQ(boxes[0].title, FromUtf8(layout.caption));
    EXPECT_EQ(boxes[0].owner, window.hwnd());
    EXPECT_EQ(boxes[0].buttons, 1);
    EXPECT_TRUE(arrow);
    EXPECT_TRUE(IsWindowEnabled(window.Control("Command1")));
    ExpectPortTextReady(window);
  }
}

}  // namespace
