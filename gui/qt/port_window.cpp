#include "port_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMessageBox>
#include <algorithm>
#include <exception>
#include <utility>

namespace gui {

namespace {

// Shows a cursor over the whole program while it lives.
class CursorOverride {
 public:
  explicit CursorOverride(Qt::CursorShape shape) { QApplication::setOverrideCursor(shape); }
  CursorOverride(const CursorOverride&) = delete;
  CursorOverride& operator=(const CursorOverride&) = delete;
  ~CursorOverride() { QApplication::restoreOverrideCursor(); }
};

// Texts cross to and from the core in the system's own 8-bit encoding.
QString FromCore(const std::string& text) { return QString::fromLocal8Bit(text.c_str()); }

void ShowBox(QWidget* owner, QMessageBox::Icon icon, const QString& text) {
  // A box waits for the user, so it is not covered by the busy cursor.
  CursorOverride arrow(Qt::ArrowCursor);
  QMessageBox box(icon, owner->windowTitle(), text, QMessageBox::Ok, owner);
  box.exec();
}

}  // namespace

PortWindow::PortWindow(ApplyMode mode, ServerTree tree) : controller_(mode, *this, std::move(tree)) {
  setObjectName(QStringLiteral("Form1"));
}

void PortWindow::Bind(QLineEdit* portText, QListWidget* usedPorts, QPushButton* apply) {
  portText_ = portText;
  usedPorts_ = usedPorts;
  apply_ = apply;
  typingLimit_ = portText_->maxLength();
  portText_->setFocus();
  // As a longer text from the file is shortened, the limit comes back.
  connect(portText_, &QLineEdit::textChanged, this, [this](const QString& text) {
    portText_->setMaxLength(std::max(typingLimit_, int(text.size())));
  });
  connect(apply_, &QPushButton::clicked, this,
          [this] { RunStep(QStringLiteral("Could not change the port."), &PortController::RequestChange); });
}

void PortWindow::RunStep(const QString& heading, void (PortController::*step)()) {
  try {
    CursorOverride wait(Qt::WaitCursor);
    (controller_.*step)();
  } catch (const std::exception& error) {
    ShowBox(this, QMessageBox::Critical, heading + QStringLiteral("\n\n") + FromCore(error.what()));
    EndProgram(1);
    close();
  }
}

std::string PortWindow::GetPortText() { return portText_->text().toLocal8Bit().toStdString(); }

void PortWindow::SetPortText(const std::string& text) {
  const QString port = FromCore(text);
  // The length limit is for typing: a longer text from the file (a port with
  // its address) is shown whole, not cut to a misleading part.
  portText_->setMaxLength(std::max(typingLimit_, int(port.size())));
  portText_->setText(port);
}

void PortWindow::AddUsedPort(const std::string& port) { usedPorts_->addItem(FromCore(port)); }

void PortWindow::SetApplyEnabled(bool enabled) { apply_->setEnabled(enabled); }

void PortWindow::ShowMessage(const std::string& text) { ShowBox(this, QMessageBox::NoIcon, FromCore(text)); }

void PortWindow::Close() { close(); }

void PortWindow::closeEvent(QCloseEvent* event) {
  QWidget::closeEvent(event);
  EndProgram(0);
}

void PortWindow::EndProgram(int exitCode) {
  if (exitCode_) return;
  exitCode_ = exitCode;
  emit ended(exitCode);
}

}  // namespace gui
