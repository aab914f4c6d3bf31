#pragma once

// The part both programs' windows share: the window as its PortController
// sees it, its message boxes, and how its program ends.
//
// A program's Form1 derives from PortWindow, builds its controls and hands the
// port box, the used-port list and the apply button to Bind(); the apply
// button then runs RequestChange().
//
// exitCode() is empty while the program runs. Once the window is closed (by
// the controller, a button or the window system) it holds 0; once an error
// has been reported it holds 1. ended(code) is emitted once, at that moment.

#include <QListWidget>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QWidget>
#include <optional>
#include <string>

#include "port_controller.h"
#include "server_tree.h"

namespace gui {

class PortWindow : public QWidget, public PortView {
  Q_OBJECT

 public:
  PortWindow(ApplyMode mode, ServerTree tree);

  std::optional<int> exitCode() const { return exitCode_; }

  // Runs one of the controller's steps under the wait cursor. An error it
  // throws is shown in an error box under the heading and ends the program.
  void RunStep(const QString& heading, void (PortController::*step)());

  std::string GetPortText() override;
  void SetPortText(const std::string& text) override;
  void AddUsedPort(const std::string& port) override;
  void SetApplyEnabled(bool enabled) override;
  void ShowMessage(const std::string& text) override;
  void Close() override;

 signals:
  void ended(int exitCode);

 protected:
  void Bind(QLineEdit* portText, QListWidget* usedPorts, QPushButton* apply);
  void closeEvent(QCloseEvent* event) override;

 private:
  void EndProgram(int exitCode);

  PortController controller_;
  QLineEdit* portText_ = nullptr;
  QListWidget* usedPorts_ = nullptr;
  QPushButton* apply_ = nullptr;
  int typingLimit_ = 0;
  std::optional<int> exitCode_;
};

}  // namespace gui
