// Both programs' Win32 windows in this process, on a private server tree with
// a stand-in server program and the canned netstat: how each is built from
// its table, takes keys and refuses. (How the programs end is driven from
// outside, in program_test.cpp.)
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "kit/refusal_cases.h"
#include "port_window.h"
#include "portchange/form1_layout.h"
#include "portsetup/form1_layout.h"
#include "test_support.h"
#include "wide_text.h"
#include "windows_kit.h"

namespace {

using gui::ControlKind;
using gui::FormLayout;
using gui::PortWindow;

const FormLayout& kSetup = portsetup::kForm1Layout;
const FormLayout& kChange = portchange::kForm1Layout;
const char* NameOf(const FormLayout& layout) { return &layout == &kSetup ? "portsetup" : "portchange"; }

// A port the canned netstat lists.
constexpr char kUsedPort[] = "445";

// A window's pixels as it has drawn itself, frame and all; At() takes client
// coordinates.
class Picture {
 public:
  explicit Picture(HWND window) {
    RECT frame;
    GetWindowRect(window, &frame);
    POINT client{0, 0};
    ClientToScreen(window, &client);
    origin_ = {client.x - frame.left, client.y - frame.top};
    header_.biSize = sizeof header_;
    header_.biWidth = frame.right - frame.left;
    header_.biHeight = frame.top - frame.bottom;  // top row first
    header_.biPlanes = 1;
    header_.biBitCount = 32;
    void* bits = nullptr;
    const HDC dc = CreateCompatibleDC(nullptr);
    const HBITMAP bitmap =
        CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&header_), DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ previous = SelectObject(dc, bitmap);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    const HDC windowDc = GetWindowDC(window);
    BitBlt(dc, 0, 0, header_.biWidth, -header_.biHeight, windowDc, 0, 0, SRCCOPY);
    ReleaseDC(window, windowDc);
    pixels_.assign(static_cast<const uint32_t*>(bits),
                   static_cast<const uint32_t*>(bits) + header_.biWidth * -header_.biHeight);
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }

  COLORREF At(int x, int y) const {
    const uint32_t pixel = pixels_[(origin_.y + y) * header_.biWidth + origin_.x + x];
    return RGB(pixel >> 16 & 0xff, pixel >> 8 & 0xff, pixel & 0xff);
  }

  // As screenshots/<name>.bmp in the working folder, for the leg to convert.
  void Save(const std::string& name) const {
    BITMAPFILEHEADER file{};
    file.bfType = 0x4d42;  // "BM"
    file.bfOffBits = sizeof file + sizeof header_;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels_.size() * 4);
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
    bytes.append(reinterpret_cast<const char*>(&header_), sizeof header_);
    for (uint32_t pixel : pixels_) {
      pixel |= 0xff000000u;  // opaque
      bytes.append(reinterpret_cast<const char*>(&pixel), 4);
    }
    CreateDirectoryW(L"screenshots", nullptr);
    WriteFile("screenshots\\" + name + ".bmp", bytes);
  }

 private:
  POINT origin_;
  BITMAPINFOHEADER header_{};
  std::vector<uint32_t> pixels_;
};

// What a click showed: each message box it opened, answered with OK once on
// screen as its user would, and whether the arrow (not the busy cursor) was up.
struct Answered {
  std::vector<SeenBox> boxes;
  bool arrow = true;
};

Answered ClickAnswering(HWND button, const char* screenshot = nullptr) {
  static Answered* answered;
  static const char* shot;
  Answered result;
  answered = &result;
  shot = screenshot;
  // A timer's turn comes in the box's own loop, once the box is drawn.
  const UINT_PTR timer = SetTimer(nullptr, 0, USER_TIMER_MINIMUM, [](HWND, UINT, UINT_PTR, DWORD) {
    const HWND box = GetActiveWindow();
    if (!IsMessageBox(box)) return;
    if (shot && answered->boxes.empty()) Picture(box).Save(shot);
    answered->boxes.push_back(ReadBox(box));
    answered->arrow &= GetCursor() == LoadCursorW(nullptr, IDC_ARROW);
    SendMessageW(box, WM_COMMAND, IDOK, 0);
  });
  SendMessageW(button, BM_CLICK, 0, 0);
  KillTimer(nullptr, timer);
  return result;
}

// Hands every waiting message to the window, as the program's loop does.
void Pump(const PortWindow& window) {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) gui::Deliver(window, message);
}

void Press(const PortWindow& window, UINT key) {
  PostMessageW(GetFocus(), WM_KEYDOWN, key, 0);
  PostMessageW(GetFocus(), WM_KEYUP, key, 0xc0000000);
  Pump(window);
}

// Typed into the focused control, a key for each character.
void Type(const PortWindow& window, const std::string& text) {
  for (const char c : text) {
    PostMessageW(GetFocus(), WM_CHAR, static_cast<unsigned char>(c), 0);
    Pump(window);
  }
}

// Text1 has the focus and all of its text selected.
void ExpectPortTextReady(const PortWindow& window) {
  const HWND box = window.Control("Text1");
  EXPECT_EQ(GetFocus(), box);
  EXPECT_EQ(SendMessageW(box, EM_GETSEL, 0, 0), MAKELRESULT(0, GetWindowTextLengthW(box)));
}

// The window as its table lays it out, at a DPI that is a whole multiple of
// 96 so that twips convert to pixels exactly: its client area, each control's
// place in its container, class, styles, font and text, each line's colour.
void ExpectLaidOut(const PortWindow& window, const FormLayout& layout, int scale) {
  const auto pixels = [scale](int twips) -> LONG { return twips / 15 * scale; };
  RECT client;
  GetClientRect(window.hwnd(), &client);
  EXPECT_EQ(std::make_pair(client.right, client.bottom), std::make_pair(pixels(layout.width), pixels(layout.height)));
  const Picture picture(window.hwnd());
  const wchar_t* const classes[] = {L"Static", L"Static", L"Edit", L"ListBox", L"Button"};  // by ControlKind
  for (const auto& control : layout.controls) {
    SCOPED_TRACE(control.name);
    const gui::Twips& twips = control.place;
    if (control.kind == ControlKind::Line) {
      const int colour = control.lineColour == gui::LineColour::DarkShadow ? COLOR_3DDKSHADOW : COLOR_3DHILIGHT;
      EXPECT_EQ(picture.At(pixels(twips.left) + 1, pixels(twips.top)), GetSysColor(colour));
      continue;
    }
    const HWND hwnd = window.Control(control.name);
    RECT place;
    GetWindowRect(hwnd, &place);
    MapWindowPoints(HWND_DESKTOP, GetParent(hwnd), reinterpret_cast<POINT*>(&place), 2);
    EXPECT_EQ((std::array<LONG, 4>{place.left, place.top, place.right - place.left, place.bottom - place.top}),
              (std::array<LONG, 4>{pixels(twips.left), pixels(twips.top), pixels(twips.width), pixels(twips.height)}));
    EXPECT_EQ(GetParent(hwnd), std::strcmp(control.container, "Form1") ? window.Control(control.container)
                                                                          : window.hwnd());
    EXPECT_EQ(ClassOf(hwnd), classes[static_cast<int>(control.kind)]);
    const LONG_PTR style = GetWindowLongPtrW(hwnd, GWL_STYLE);
    EXPECT_EQ((style & WS_TABSTOP) != 0, gui::TakesFocus(control.kind));
    if (control.kind == ControlKind::Picture) continue;
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_EQ(font.lfHeight, -std::lround(control.font.points * 96 * scale / 72));
    EXPECT_EQ(font.lfWeight, control.font.bold ? FW_BOLD : FW_NORMAL);
    EXPECT_STREQ(font.lfFaceName, L"Arial");
    switch (control.kind) {
      case ControlKind::Button:
        EXPECT_EQ(style & BS_TYPEMASK, BS_PUSHBUTTON);
        [[fallthrough]];
      case ControlKind::Label:
        EXPECT_EQ(TextOf(hwnd), gui::FromUtf8(control.text));
        break;
      case ControlKind::ListBox:
        EXPECT_EQ(style & (LBS_SORT | LBS_NOINTEGRALHEIGHT), LBS_NOINTEGRALHEIGHT);
        break;
      case ControlKind::TextBox:
        EXPECT_TRUE(style & ES_AUTOHSCROLL);
        EXPECT_EQ(SendMessageW(hwnd, EM_GETLIMITTEXT, 0, 0), control.maxLength);
        break;
      default:
        break;
    }
  }
}

class Window : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!UnderWine()) GTEST_SKIP() << "the probe writes to drive C:; runs only in a Wine prefix";
  }
  TempDir dir;
};

TEST_F(Window, IsBuiltFromItsTableAndScalesWithTheDpi) {
  for (const FormLayout* layout : {&kSetup, &kChange}) {
    SCOPED_TRACE(NameOf(*layout));
    const StandIns machine(dir / "Apache2", "Listen 80\r\n");
    PortWindow window(*layout, machine.tree());
    ASSERT_EQ(window.Start(), std::nullopt);
    ASSERT_EQ(GetDpiForWindow(window.hwnd()), 96u);
    ExpectLaidOut(window, *layout, 1);
    Picture(window.hwnd()).Save(NameOf(*layout));

    EXPECT_EQ(TextOf(window.hwnd()), gui::FromUtf8(layout->caption));
    const LONG_PTR frames = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
    EXPECT_EQ(GetWindowLongPtrW(window.hwnd(), GWL_STYLE) & frames,
              layout->frame == gui::Frame::None ? WS_POPUP : WS_CAPTION | WS_SYSMENU);
    EXPECT_NE(SendMessageW(window.hwnd(), WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(SendMessageW(window.hwnd(), WM_GETICON, ICON_SMALL, 0), 0);
    RECT frame;
    GetWindowRect(window.hwnd(), &frame);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window.hwnd(), MONITOR_DEFAULTTONEAREST), &monitor);
    EXPECT_NEAR(frame.left + frame.right, monitor.rcWork.left + monitor.rcWork.right, 1);
    EXPECT_NEAR(frame.top + frame.bottom, monitor.rcWork.top + monitor.rcWork.bottom, 1);
    EXPECT_EQ(SendMessageW(window.Control("List1"), LB_GETCOUNT, 0, 0), 6) << "the canned netstat's ports";

    // Moved to a monitor of twice the DPI, it is laid out anew. Only a window
    // without a frame: a frame here stays at the real DPI.
    if (layout->frame != gui::Frame::None) continue;
    RECT suggested{0, 0, frame.right - frame.left, frame.bottom - frame.top};
    SendMessageW(window.hwnd(), WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
    ExpectLaidOut(window, *layout, 2);
  }
}

TEST_F(Window, OpensWithThePortSelectedAndTakesKeys) {
  for (const FormLayout* layout : {&kSetup, &kChange}) {
    SCOPED_TRACE(NameOf(*layout));
    // A port longer than the box lets the user type, and wider than the box.
    const std::string longPort(40, '9');
    const StandIns machine(dir / "Apache2", ("Listen " + longPort + "\r\n").c_str());
    PortWindow window(*layout, machine.tree());
    ASSERT_EQ(window.Start(), std::nullopt);
    EXPECT_EQ(TextOf(window.Control("Text1")), gui::FromUtf8(longPort));
    ExpectPortTextReady(window);
    EXPECT_EQ(SendMessageW(window.Control("Text1"), EM_GETFIRSTVISIBLELINE, 0, 0), 0);

    Type(window, "81");
    EXPECT_EQ(TextOf(window.Control("Text1")), L"81");
    // There is no default and no cancel button.
    Press(window, VK_RETURN);
    Press(window, VK_ESCAPE);
    EXPECT_EQ(window.exitCode(), std::nullopt);
    SendMessageW(window.Control("Text1"), EM_SETSEL, 0, -1);
    Type(window, "1234567");
    EXPECT_EQ(TextOf(window.Control("Text1")), L"12345");

    // Tab goes round in the table's order and selects the port again.
    std::vector<const gui::ControlLayout*> chain;
    for (const auto& control : layout->controls)
      if (gui::TakesFocus(control.kind)) chain.push_back(&control);
    std::stable_sort(chain.begin(), chain.end(), [](auto a, auto b) { return a->tabIndex < b->tabIndex; });
    for (size_t step = 1; step <= chain.size(); ++step) {
      Press(window, VK_TAB);
      EXPECT_EQ(GetFocus(), window.Control(chain[step % chain.size()]->name)) << chain[step % chain.size()]->name;
    }
    ExpectPortTextReady(window);

    // The focus comes back when another window has had the activation.
    Press(window, VK_TAB);
    const HWND other = CreateWindowExW(0, L"Static", L"", WS_POPUP | WS_VISIBLE, 0, 0, 9, 9, nullptr, nullptr,
                                       nullptr, nullptr);
    SetActiveWindow(other);
    DestroyWindow(other);
    SetActiveWindow(window.hwnd());
    ASSERT_EQ(GetFocus(), window.Control("Command1"));
    Press(window, VK_SPACE);
    EXPECT_EQ(window.exitCode(), 0);
    EXPECT_EQ(machine.config(), "Listen 12345\r\n");
  }
}

TEST_F(Window, RefusesEveryRefusalCaseAndReturnsToThePort) {
  for (const RefusalCase& refusal : kRefusalCases) {
    const FormLayout& layout = refusal.mode == ApplyMode::Setup ? kSetup : kChange;
    const std::string config = WithPort(refusal.config, kUsedPort);
    const std::string typed = WithPort(refusal.typed, kUsedPort);
    SCOPED_TRACE(std::string(NameOf(layout)) + ", " + config + "typed '" + typed + "'");
    const StandIns machine(dir / "Apache2", config.c_str());
    PortWindow window(layout, machine.tree());
    ASSERT_EQ(window.Start(), std::nullopt);
    Type(window, "\b" + typed);
    ASSERT_EQ(TextOf(window.Control("Text1")), gui::FromUtf8(typed));
    const Answered answered = ClickAnswering(window.Control("Command1"), &refusal == kRefusalCases ? "message" : nullptr);

    ASSERT_EQ(answered.boxes.size(), 1u);
    const SeenBox& box = answered.boxes[0];
    EXPECT_EQ(box.text, gui::FromUtf8(refusal.message));
    EXPECT_EQ(box.title, gui::FromUtf8(layout.caption));
    EXPECT_EQ(box.owner, window.hwnd());
    EXPECT_EQ(box.buttons, 1);
    EXPECT_FALSE(box.icon);
    EXPECT_TRUE(answered.arrow);
    EXPECT_EQ(window.exitCode(), std::nullopt);
    EXPECT_TRUE(IsWindowEnabled(window.Control("Command1")));
    ExpectPortTextReady(window);
    EXPECT_EQ(machine.config(), config);
    EXPECT_EQ(machine.commands(), "");
  }
}

}  // namespace
