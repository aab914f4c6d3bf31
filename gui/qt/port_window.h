#pragma once

// A program's window in Qt Widgets, built from its layout table, as its
// PortController's view: the port box, the used ports and the buttons take
// the roles the table gives them. ended(code) is emitted once, when the
// program ends.

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QWidget>
#include <functional>
#include <string>

#include "form_layout.h"
#include "program_window.h"
#include "server_tree.h"

namespace gui {

class PortWindow : public QWidget, public ProgramWindow {
  Q_OBJECT

 public:
  // Centred on its screen, so that a box start-up shows sits over the
  // window's place.
  PortWindow(const FormLayout& layout, ServerTree tree);

  std::string GetPortText() override;
  void SetPortText(const std::string& text) override;
  void AddUsedPort(const std::string& port) override;
  void SetApplyEnabled(bool enabled) override;
  void Close() override;
  void KeepAlive() override;

 signals:
  void ended(int exitCode);

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildControls(const FormLayout& layout);
  void SelectPortText();

  void WhileBusy(const std::function<void()>& work) override;
  void ShowBox(const std::string& text, BoxIcon icon, const std::string& details) override;
  void Reveal() override;
  void SelectPort() override;
  void PointToOtherCopy() override;
  void Ended(int exitCode) override;

  int typingLimit_ = 0;
  QLineEdit* portText_ = nullptr;
  QListWidget* usedPorts_ = nullptr;
  QPushButton* apply_ = nullptr;
  QPushButton* exit_ = nullptr;  // none on the setup page
};

// A modal box over the window, or on its own when there is none.
void ShowBox(QWidget* over, const QString& caption, const std::string& text, BoxIcon icon, const std::string& details);

}  // namespace gui
