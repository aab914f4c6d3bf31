#pragma once

// A program's one window in plain Win32 controls, built from its layout table
// and serving as its PortController's view.
//
// The window is created hidden, laid out for the DPI of the monitor it opens
// on and centred on that monitor's work area. Start() runs the controller's
// start-up and shows it; the apply button runs RequestChange(). exitCode() is
// empty while the program runs: the window's destruction ends it with 0 once a
// change was applied and 2 otherwise, and an error reported in a box with 1.

#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "form_layout.h"
#include "handles.h"
#include "port_controller.h"
#include "server_tree.h"

namespace gui {

class PortWindow : public PortView {
 public:
  explicit PortWindow(const FormLayout& layout, ServerTree tree = InstalledServerTree());
  PortWindow(const PortWindow&) = delete;
  PortWindow& operator=(const PortWindow&) = delete;
  ~PortWindow();

  // Runs the controller's start-up under the wait cursor and, unless that
  // ended the program, shows the window with the port box focused and its
  // text selected. Returns the exit code when the program has already ended.
  std::optional<int> Start();

  std::optional<int> exitCode() const { return exitCode_; }
  // Null once the window is destroyed.
  HWND hwnd() const { return window_; }
  // The control with the designer name; null for a line, which is drawn.
  HWND Control(const char* name) const;

  std::string GetPortText() override;
  void SetPortText(const std::string& text) override;
  void AddUsedPort(const std::string& port) override;
  void SetApplyEnabled(bool enabled) override;
  void ShowMessage(const std::string& text) override;
  void Close() override;
  void KeepAlive() override {}

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);

  void CreateControls();
  void LayOut(UINT dpi);
  SIZE WindowSize() const;
  void PlaceOnMonitor();
  HWND ControlFor(Role role) const;
  const ControlLayout* LayoutOf(HWND control) const;

  void Run(void (PortController::*step)());
  void OnClicked(HWND control);
  void FocusPortText();
  void ShowBox(const std::wstring& text, UINT icon);
  void EndProgram(int exitCode);

  void PaintLines(HDC dc) const;
  void DrawBanner(HDC dc, const RECT& box) const;

  const FormLayout& layout_;
  std::wstring caption_;
  DWORD style_;
  PortController controller_;
  HWND window_ = nullptr;
  std::vector<HWND> controls_;  // by the layout's index; null for lines
  UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
  std::vector<std::pair<Font, FontHandle>> fonts_;  // one for each font of the layout
  IconHandle bannerIcon_, bigIcon_, smallIcon_;
  HWND lastFocus_ = nullptr;
  std::optional<int> exitCode_;
};

// Hands a message of the thread to the window's keyboard interface (Tab,
// Shift+Tab, Space on a button) or else to its target.
void Deliver(const PortWindow& window, MSG& message);

}  // namespace gui
