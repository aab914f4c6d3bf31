// Both programs' Win32 windows in this process, on a private server tree with
// a stand-in server program and the canned netstat: how each is built from
// its table, how it starts and takes keys, and how it refuses, applies and ends.
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

const FormLayout& LayoutOf(ApplyMode mode) {
  return mode == ApplyMode::Setup ? portsetup::kForm1Layout : portchange::kForm1Layout;
}

const char* NameOf(const FormLayout& layout) { return &layout == &portsetup::kForm1Layout ? "portsetup" : "portchange"; }

// A port the canned netstat lists.
constexpr char kUsedPort[] = "445";

// Top row first, 32 bits a pixel.
BITMAPINFOHEADER Header(LONG width, LONG height) {
  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = -height;
  header.biPlanes = 1;
  header.biBitCount = 32;
  header.biCompression = BI_RGB;
  return header;
}

// A window's pixels as it draws itself, whole; At() takes client coordinates.
class Picture {
 public:
  explicit Picture(HWND window) {
    RECT frame;
    GetWindowRect(window, &frame);
    POINT client{0, 0};
    ClientToScreen(window, &client);
    origin_ = {client.x - frame.left, client.y - frame.top};
    width_ = frame.right - frame.left;
    height_ = frame.bottom - frame.top;
    BITMAPINFO info{};
    info.bmiHeader = Header(width_, height_);
    void* bits = nullptr;
    const HDC screen = GetDC(nullptr);
    const HDC dc = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ previous = SelectObject(dc, bitmap);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    const HDC windowDc = GetWindowDC(window);
    BitBlt(dc, 0, 0, width_, height_, windowDc, 0, 0, SRCCOPY);
    ReleaseDC(window, windowDc);
    pixels_.assign(static_cast<const uint32_t*>(bits), static_cast<const uint32_t*>(bits) + width_ * height_);
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
  }

  COLORREF At(int x, int y) const {
    const uint32_t pixel = pixels_[(origin_.y + y) * width_ + origin_.x + x];
    return RGB((pixel >> 16) & 0xff, (pixel >> 8) & 0xff, pixel & 0xff);
  }

  // As screenshots/<name>.bmp in the working folder, for the leg to convert.
  void Save(const std::string& name) const {
    const BITMAPINFOHEADER info = Header(width_, height_);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4d42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels_.size() * 4);
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
    bytes.append(reinterpret_cast<const char*>(&info), sizeof info);
    for (const uint32_t pixel : pixels_) {
      const uint32_t opaque = pixel | 0xff000000u;
      bytes.append(reinterpret_cast<const char*>(&opaque), 4);
    }
    CreateDirectoryW(L"screenshots", nullptr);
    WriteFile("screenshots\\" + name + ".bmp", bytes);
  }

 private:
  POINT origin_;
  LONG width_, height_;
  std::vector<uint32_t> pixels_;
};

// Answers each message box the thread opens with OK, as its user would,
// noting what it showed and whether the arrow (not the busy cursor) was up.
class Answerer {
 public:
  explicit Answerer(const char* screenshot = nullptr)
      : screenshot_(screenshot), hook_(SetWindowsHookExW(WH_CBT, OnEvent, nullptr, GetCurrentThreadId())) {
    current_ = this;
  }
  Answerer(const Answerer&) = delete;
  Answerer& operator=(const Answerer&) = delete;
  ~Answerer() {
    UnhookWindowsHookEx(hook_);
    current_ = nullptr;
  }

  std::vector<SeenBox> boxes;
  bool arrowOverBoxes = true;

 private:
  static LRESULT CALLBACK OnEvent(int code, WPARAM wParam, LPARAM lParam) {
    const HWND box = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_ACTIVATE && IsMessageBox(box) && box != current_->last_) {
      current_->last_ = box;
      current_->boxes.push_back(ReadBox(box));
      current_->arrowOverBoxes &= GetCursor() == LoadCursorW(nullptr, IDC_ARROW);
      // Answered from the box's own loop, once it is on screen.
      SetTimer(nullptr, 0, USER_TIMER_MINIMUM, Answer);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }

  static void CALLBACK Answer(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    if (current_->screenshot_ && current_->boxes.size() == 1) Picture(current_->last_).Save(current_->screenshot_);
    PressOk(current_->last_);
  }

  static inline Answerer* current_ = nullptr;
  const char* screenshot_;
  HHOOK hook_;
  HWND last_ = nullptr;
};

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

// Typed into the focused control, each character as a key of its own.
void Type(const PortWindow& window, const std::string& text) {
  for (const char c : text) {
    PostMessageW(GetFocus(), WM_CHAR, static_cast<unsigned char>(c), 0);
    Pump(window);
  }
}

std::wstring TextOf(HWND window) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = L"";
  GetClassNameW(window, name, 64);
  return name;
}

const char* FocusName(const PortWindow& window, const FormLayout& layout) {
  for (const auto& control : layout.controls)
    if (control.kind != ControlKind::Line && window.Control(control.name) == GetFocus()) return control.name;
  return "(none)";
}

// Text1 has the focus and all of its text selected.
void ExpectPortTextReady(const PortWindow& window) {
  const HWND box = window.Control("Text1");
  EXPECT_EQ(GetFocus(), box);
  DWORD start = 1, end = 0;
  SendMessageW(box, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 0u);
  EXPECT_EQ(end, static_cast<DWORD>(GetWindowTextLengthW(box)));
}

std::array<LONG, 4> PlaceIn(HWND control) {
  RECT place;
  GetWindowRect(control, &place);
  MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&place), 2);
  return {place.left, place.top, place.right - place.left, place.bottom - place.top};
}

// The window as its table lays it out at a DPI that is a whole multiple of
// 96, where twips convert to pixels exactly: its client area, each control's
// place in its container, class, styles, font and text, each line's colour.
void ExpectLaidOut(const PortWindow& window, const FormLayout& layout, int scale) {
  const auto pixels = [scale](int twips) { return twips / 15 * scale; };
  RECT client;
  GetClientRect(window.hwnd(), &client);
  EXPECT_EQ(client.right, pixels(layout.width));
  EXPECT_EQ(client.bottom, pixels(layout.height));
  const Picture picture(window.hwnd());
  for (const auto& control : layout.controls) {
    SCOPED_TRACE(control.name);
    if (control.kind == ControlKind::Line) {
      const int colour = control.lineColour == gui::LineColour::DarkShadow ? COLOR_3DDKSHADOW : COLOR_3DHILIGHT;
      EXPECT_EQ(picture.At(pixels(control.place.left) + 1, pixels(control.place.top)), GetSysColor(colour));
      continue;
    }
    const HWND hwnd = window.Control(control.name);
    ASSERT_NE(hwnd, nullptr);
    const std::array<LONG, 4> place{pixels(control.place.left), pixels(control.place.top),
                                    pixels(control.place.width), pixels(control.place.height)};
    EXPECT_EQ(PlaceIn(hwnd), place);
    EXPECT_EQ(GetParent(hwnd),
              std::strcmp(control.container, "Form1") == 0 ? window.hwnd() : window.Control(control.container));
    const LONG_PTR style = GetWindowLongPtrW(hwnd, GWL_STYLE);
    EXPECT_EQ((style & WS_TABSTOP) != 0, gui::TakesFocus(control.kind));
    if (control.kind == ControlKind::Picture) continue;
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_EQ(font.lfHeight, -std::lround(control.font.points * 96 * scale / 72));
    EXPECT_EQ(font.lfWeight, control.font.bold ? FW_BOLD : FW_NORMAL);
    EXPECT_STREQ(font.lfFaceName, L"Arial");
    switch (control.kind) {
      case ControlKind::Label:
        EXPECT_EQ(ClassOf(hwnd), L"Static");
        EXPECT_EQ(TextOf(hwnd), gui::FromUtf8(control.text));
        break;
      case ControlKind::Button:
        EXPECT_EQ(ClassOf(hwnd), L"Button");
        EXPECT_EQ(style & BS_TYPEMASK, BS_PUSHBUTTON);
        EXPECT_EQ(TextOf(hwnd), gui::FromUtf8(control.text));
        break;
      case ControlKind::TextBox:
        EXPECT_EQ(ClassOf(hwnd), L"Edit");
        EXPECT_TRUE(style & ES_AUTOHSCROLL);
        EXPECT_EQ(SendMessageW(hwnd, EM_GETLIMITTEXT, 0, 0), control.maxLength);
        break;
      case ControlKind::ListBox:
        EXPECT_EQ(ClassOf(hwnd), L"ListBox");
        EXPECT_EQ(style & (LBS_SORT | LBS_NOINTEGRALHEIGHT), LBS_NOINTEGRALHEIGHT);
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
  for (const FormLayout* layout : {&portsetup::kForm1Layout, &portchange::kForm1Layout}) {
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
    // The probe's entries, in its order.
    std::vector<std::wstring> listed;
    const HWND list = window.Control("List1");
    for (LRESULT row = 0; row < SendMessageW(list, LB_GETCOUNT, 0, 0); ++row) {
      wchar_t entry[16];
      SendMessageW(list, LB_GETTEXT, row, reinterpret_cast<LPARAM>(entry));
      listed.push_back(entry);
    }
    EXPECT_EQ(listed, (std::vector<std::wstring>{L"80", L"445", L"8080", L"49703", L"53", L"445"}));

    // Moved to a monitor of twice the DPI, it is laid out anew. Only a
    // window without a frame: this one's frame stays at the real DPI.
    if (layout->frame != gui::Frame::None) continue;
    RECT suggested{0, 0, frame.right - frame.left, frame.bottom - frame.top};
    SendMessageW(window.hwnd(), WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
    ExpectLaidOut(window, *layout, 2);
  }
}

TEST_F(Window, OpensAndReturnsToThePortTextSelected) {
  for (const FormLayout* layout : {&portsetup::kForm1Layout, &portchange::kForm1Layout}) {
    SCOPED_TRACE(NameOf(*layout));
    // A port longer than the box lets the user type, and wider than the box.
    const std::string longPort = "1234567890123456789012345678901234567890";
    const StandIns machine(dir / "Apache2", ("Listen " + longPort + "\r\n").c_str());
    PortWindow window(*layout, machine.tree());
    ASSERT_EQ(window.Start(), std::nullopt);
    EXPECT_EQ(TextOf(window.Control("Text1")), gui::FromUtf8(longPort));
    ExpectPortTextReady(window);
    EXPECT_EQ(SendMessageW(window.Control("Text1"), EM_GETFIRSTVISIBLELINE, 0, 0), 0);

    Type(window, "81");
    EXPECT_EQ(TextOf(window.Control("Text1")), L"81");
    SendMessageW(window.Control("Text1"), EM_SETSEL, 0, -1);
    Type(window, "1234567");
    EXPECT_EQ(TextOf(window.Control("Text1")), L"12345");

    // Tab goes round the focusable controls in the table's order and selects
    // the port again.
    std::vector<const gui::ControlLayout*> chain;
    for (const auto& control : layout->controls)
      if (gui::TakesFocus(control.kind)) chain.push_back(&control);
    std::stable_sort(chain.begin(), chain.end(), [](auto a, auto b) { return a->tabIndex < b->tabIndex; });
    for (size_t step = 1; step <= chain.size(); ++step) {
      Press(window, VK_TAB);
      EXPECT_STREQ(FocusName(window, *layout), chain[step % chain.size()]->name);
    }
    ExpectPortTextReady(window);

    // Another window takes the activation and gives it back.
    Press(window, VK_TAB);
    const HWND focused = GetFocus();
    const HWND other = CreateWindowExW(0, L"Static", L"other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr,
                                       nullptr, nullptr, nullptr);
    SetActiveWindow(other);
    EXPECT_NE(GetFocus(), focused);
    DestroyWindow(other);
    SetActiveWindow(window.hwnd());
    EXPECT_EQ(GetFocus(), focused);

    // Space presses the focused button.
    ASSERT_STREQ(FocusName(window, *layout), "Command1");
    Press(window, VK_SPACE);
    EXPECT_EQ(window.exitCode(), 0);
    EXPECT_EQ(machine.config(), "Listen 12345\r\n");
  }
}

TEST_F(Window, RefusesEveryRefusalCaseAndReturnsToThePort) {
  for (const RefusalCase& refusal : kRefusalCases) {
    const FormLayout& layout = LayoutOf(refusal.mode);
    const std::string config = WithPort(refusal.config, kUsedPort);
    const std::string typed = WithPort(refusal.typed, kUsedPort);
    SCOPED_TRACE(std::string(NameOf(layout)) + ", " + config + "typed '" + typed + "'");
    const StandIns machine(dir / "Apache2", config.c_str());
    PortWindow window(layout, machine.tree());
    ASSERT_EQ(window.Start(), std::nullopt);
    Type(window, "\b" + typed);
    ASSERT_EQ(TextOf(window.Control("Text1")), gui::FromUtf8(typed));
    Answerer answerer(&refusal == kRefusalCases ? "message" : nullptr);
    SendMessageW(window.Control("Command1"), BM_CLICK, 0, 0);

    ASSERT_EQ(answerer.boxes.size(), 1u);
    const SeenBox& box = answerer.boxes[0];
    EXPECT_EQ(box.text, gui::FromUtf8(refusal.message));
    EXPECT_EQ(box.title, gui::FromUtf8(layout.caption));
    EXPECT_EQ(box.owner, window.hwnd());
    EXPECT_TRUE(box.ownerShown);
    EXPECT_EQ(box.buttons, 1);
    EXPECT_FALSE(box.icon);
    EXPECT_TRUE(answerer.arrowOverBoxes);
    EXPECT_EQ(window.exitCode(), std::nullopt);
    EXPECT_TRUE(IsWindowEnabled(window.Control("Command1")));
    ExpectPortTextReady(window);
    EXPECT_EQ(machine.config(), config);
    EXPECT_EQ(machine.commands(), "");
  }
}

struct EndCase {
  const char* name;
  const FormLayout& layout;
  const char* config;  // null: no httpd.conf
  const char* damage;  // "locked": httpd.conf held open by another program; "no server": its program is gone
  const char* action;  // a button's name or "close"; null: start-up ends the program
  const char* box;     // the start of the one box shown; null: none
  int exitCode;
  const char* configAfter;
  const char* commands;
};

TEST_F(Window, EndsWithTheRightCodeAndLeavesTheRightTrace) {
  const FormLayout& setup = portsetup::kForm1Layout;
  const FormLayout& change = portchange::kForm1Layout;
  const char* const conf = "Listen 80\r\n";
  const EndCase cases[] = {
      {"setup applies", setup, conf, "", "Command1", nullptr, 0, "Listen 8081\r\n",
       "<-k> <install>\r\n<-k> <start>\r\n"},
      {"change applies", change, conf, "", "Command1", nullptr, 0, "Listen 8081\r\n", "<-k> <stop>\r\n<-k> <start>\r\n"},
      {"Exit", change, conf, "", "Command2", nullptr, 2, conf, ""},
      {"change's close box", change, conf, "", "close", nullptr, 2, conf, ""},
      {"setup closed by the system", setup, conf, "", "close", nullptr, 2, conf, ""},
      {"setup, no file", setup, nullptr, "", nullptr, "Can't find httpd.conf!", 2, nullptr, ""},
      {"change, no file", change, nullptr, "", nullptr, "Can't find httpd.conf!", 2, nullptr, ""},
      {"unreadable file", change, conf, "locked", nullptr, "Could not read httpd.conf.\n\nCannot open", 1, conf, ""},
      {"no server program", setup, conf, "no server", "Command1", "Could not change the port.\n\nCannot start", 1,
       "Listen 8081\r\n", ""},
  };
  for (const EndCase& c : cases) {
    SCOPED_TRACE(c.name);
    const StandIns machine(dir / "Apache2", c.config);
    const ServerTree tree = machine.tree();
    if (std::strcmp(c.damage, "no server") == 0) DeleteFileA((tree.serverProgram + ".exe").c_str());
    const HANDLE lock = std::strcmp(c.damage, "locked") == 0
                            ? CreateFileA(tree.configFile.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)
                            : INVALID_HANDLE_VALUE;
    PortWindow window(c.layout, tree);
    const HWND hwnd = window.hwnd();
    Answerer answerer(c.box && c.exitCode == 1 ? "error" : nullptr);
    const std::optional<int> started = window.Start();
    if (c.action) {
      ASSERT_EQ(started, std::nullopt);
      Type(window, "\b8081");
      if (std::strcmp(c.action, "close") == 0)
        SendMessageW(window.hwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
      else
        SendMessageW(window.Control(c.action), BM_CLICK, 0, 0);
    } else {
      EXPECT_EQ(started, c.exitCode);
    }
    if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);

    EXPECT_EQ(window.exitCode(), c.exitCode);
    EXPECT_EQ(window.hwnd(), nullptr);
    ASSERT_EQ(answerer.boxes.size(), c.box ? 1u : 0u);
    if (c.box) {
      const SeenBox& box = answerer.boxes[0];
      EXPECT_EQ(box.text.rfind(gui::FromUtf8(c.box), 0), 0u) << gui::ToAnsi(box.text);
      EXPECT_EQ(box.title, gui::FromUtf8(c.layout.caption));
      EXPECT_EQ(box.owner, hwnd);
      EXPECT_EQ(box.ownerShown, c.action != nullptr);
      EXPECT_EQ(box.icon, c.exitCode == 1);
      EXPECT_TRUE(answerer.arrowOverBoxes);
      // An error names what failed.
      if (c.exitCode == 1) {
        EXPECT_NE(box.text.find(gui::FromAnsi(*c.damage == 'l' ? tree.configFile : tree.serverProgram)),
                  std::wstring::npos);
      }
    }
    if (c.config) {
      EXPECT_EQ(machine.config(), c.configAfter);
    }
    EXPECT_EQ(machine.commands(), c.commands);
    EXPECT_NE(GetCursor(), LoadCursorW(nullptr, IDC_WAIT));
  }
}

}  // namespace
