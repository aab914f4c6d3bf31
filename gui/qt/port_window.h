#pragma once

// A program's window, built from its layout table, as its PortController
// sees it: the port box, the used ports and the apply button take the roles
// the table gives them; an Exit button closes the window.
//
// exitCode() is empty while the program runs and holds gui::ExitCode once it
// has ended: when the window closed, or an error box was shown. ended(code)
// is emitted once, at that moment.

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QWidget>
#include <optional>
#include <string>

#include "form_layout.h"
#include "port_controller.h"
#include "server_tree.h"

namespace gui {

class PortWindow : public QWidget, public PortView {
  Q_OBJECT

 public:
  PortWindow(const FormLayout& layout, ServerTree tree);

  std::optional<int> exitCode() const { return exitCode_; }

  // Centres the window, runs its controller's start-up and, unless that ended
  // the program, shows the window with the port selected in the port box.
  // Returns the exit code when start-up ended the program. Tests call it
  // directly; gui::RunProgram adds the event loop.
  std::optional<int> Open();

  std::string GetPortText() override;
  void SetPortText(const std::string& text) override;
  void AddUsedPort(const std::string& port) override;
  void SetApplyEnabled(bool enabled) override;
  void ShowMessage(const std::string& text) override;
  void Close() override;
  void KeepAlive() override {}

 signals:
  void ended(int exitCode);

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls(const FormLayout& layout);
  // Runs one of the controller's steps under the wait cursor. An error it
  // throws is shown in an error box and ends the program.
  void Run(void (PortController::*step)());
  // The port box takes the focus with its whole text selected, shown from its
  // first character, so that typing replaces the port.
  void SelectPort();
  void SelectPortText();
  void EndProgram(int exitCode);

  PortController controller_;
  int typingLimit_ = 0;
  QLineEdit* portText_ = nullptr;
  QListWidget* usedPorts_ = nullptr;
  QPushButton* apply_ = nullptr;
  std::optional<int> exitCode_;
};

}  // namespace gui
