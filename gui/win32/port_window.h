#pragma once

// A program's one window in plain Win32 controls, built from its layout table
// and serving as its PortController's view.
//
// The window is created hidden, laid out for the DPI of the monitor it opens
// on and centred on that monitor's work area; Open() shows it. Its class is
// "portconfig." and the form's name, for tools that look for it.

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "form_layout.h"
#include "handles.h"
#include "program_window.h"
#include "server_tree.h"

namespace gui {

class StepFiber;

class PortWindow final : public ProgramWindow {
 public:
  explicit PortWindow(const FormLayout& layout, ServerTree tree = InstalledServerTree());
  PortWindow(const PortWindow&) = delete;
  PortWindow& operator=(const PortWindow&) = delete;
  ~PortWindow();

  // Null once the window is destroyed.
  HWND hwnd() const { return window_; }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void OnCommand(WORD code, HWND control);
  HBRUSH OnCtlColorStatic(HDC dc, HWND label);
  bool OnDrawItem(const DRAWITEMSTRUCT& item);
  void OnPaint();
  void OnActivate(WORD state);
  void OnDpiChanged(UINT dpi, const RECT& suggested);

  void CreateControls();
  void LayOut(UINT dpi);
  const ControlLayout* LayoutOf(HWND control) const;
  // Between the waits of a step: the window paints and answers the system.
  void AnswerWhileBusy();

  std::string GetPortText() override;
  void SetPortText(const std::string& text) override;
  void AddUsedPort(const std::string& port) override;
  void SetApplyEnabled(bool enabled) override;
  void Close() override;
  void KeepAlive() override;
  void WhileBusy(const std::function<void()>& work) override;
  void ShowBox(const std::string& text, BoxIcon icon, const std::string& details) override;
  void Reveal() override;
  void SelectPort() override;
  void PointToOtherCopy() override;
  void Ended(int exitCode) override;

  const FormLayout& layout_;
  std::wstring caption_;
  DWORD style_;
  HWND window_ = nullptr;
  std::vector<HWND> controls_;  // by the layout's index; null for lines
  struct {
    HWND portText, usedPorts, apply, exit;  // no exit button on the setup page
  } roles_{};
  UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
  std::vector<std::pair<Font, FontHandle>> fonts_;  // one for each font of the layout
  IconHandle bannerIcon_, bigIcon_, smallIcon_;
  HWND lastFocus_ = nullptr;
  StepFiber* step_ = nullptr;  // while a step runs
  bool sessionEnds_ = false;   // the user ended the session during a step
};

}  // namespace gui
