#include "port_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QMessageBox>
#include <QScreen>
#include <algorithm>
#include <map>
#include <utility>

#include "form_parts.h"
#include "program_end.h"

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

Qt::WindowFlags FrameFlags(Frame frame) {
  if (frame == Frame::None) return Qt::Window | Qt::FramelessWindowHint;
  return Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
}

void Centre(QWidget& window) {
  window.winId();  // the frame, and so the whole window's size, is known once it exists
  QRect whole = window.frameGeometry();
  whole.moveCenter(window.screen()->availableGeometry().center());
  window.move(whole.topLeft());
}

}  // namespace

PortWindow::PortWindow(const FormLayout& layout, ServerTree tree) : controller_(layout.mode, *this, std::move(tree)) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QString::fromUtf8(layout.caption));
  setWindowFlags(FrameFlags(layout.frame));
  setFixedSize(Pixels(layout.width), Pixels(layout.height));
  setWindowIcon(ComputerIcon());
  BuildControls(layout);
}

void PortWindow::BuildControls(const FormLayout& layout) {
  std::map<int, QWidget*> tabChain;
  for (const ControlLayout& control : layout.controls) {
    const QString container = QString::fromLatin1(control.container);
    QWidget* widget = AddControl(container == objectName() ? *this : *findChild<QWidget*>(container), control);
    if (TakesFocus(control.kind)) tabChain[control.tabIndex] = widget;
    switch (control.role) {
      case Role::PortText:
        portText_ = static_cast<QLineEdit*>(widget);
        portText_->installEventFilter(this);
        typingLimit_ = control.maxLength;
        break;
      case Role::UsedPorts:
        usedPorts_ = static_cast<QListWidget*>(widget);
        break;
      case Role::Apply:
        apply_ = static_cast<QPushButton*>(widget);
        connect(apply_, &QPushButton::clicked, this, [this] {
          Run(&PortController::RequestChange);
          if (!exitCode_) SelectPort();
        });
        break;
      case Role::Exit:
        connect(static_cast<QPushButton*>(widget), &QPushButton::clicked, this, &QWidget::close);
        break;
      case Role::None:
        break;
    }
  }
  QWidget* previous = nullptr;
  for (const auto& [index, widget] : tabChain) {
    if (previous) setTabOrder(previous, widget);
    previous = widget;
  }
  // The limit is for typing, as a Windows edit's: a longer port from the file
  // is shown whole (cut, "0008080" would read "00080", another port), and
  // typing adds nothing to it until it is shortened to the limit.
  connect(portText_, &QLineEdit::textChanged, this,
          [this](const QString& text) { portText_->setMaxLength(std::max(typingLimit_, int(text.size()))); });
}

std::optional<int> PortWindow::Open() {
  // Placed before start-up, so that a box it shows sits over the window's place.
  Centre(*this);
  Run(&PortController::Start);
  if (exitCode_) return exitCode_;
  show();
  SelectPort();
  return std::nullopt;
}

void PortWindow::Run(void (PortController::*step)()) {
  std::optional<std::string> error;
  {
    CursorOverride wait(Qt::WaitCursor);
    error = RunStep(controller_, step);
  }
  if (!error) return;
  ShowBox(this, QMessageBox::Critical, FromCore(*error));
  EndProgram(kFailed);
  close();
}

void PortWindow::SelectPort() {
  // Without a window manager, nothing gives the keyboard back to the window
  // when it opens or a box over it closes.
  activateWindow();
  portText_->setFocus();
  SelectPortText();
}

void PortWindow::SelectPortText() {
  // Selected from its end back to its start, so the caret sits at the start.
  portText_->setSelection(portText_->text().size(), -portText_->text().size());
}

bool PortWindow::eventFilter(QObject* watched, QEvent* event) {
  // Whenever the window itself hands the port box the focus (on opening, on
  // coming back to the front, after a box), its text is selected again, as a
  // dialog's edit is: the window may only become active after the selection
  // was made, and by then it can have been lost. A click or Tab does its own.
  if (watched == portText_ && event->type() == QEvent::FocusIn) {
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason == Qt::ActiveWindowFocusReason || reason == Qt::OtherFocusReason) SelectPortText();
  }
  return QWidget::eventFilter(watched, event);
}

std::string PortWindow::GetPortText() { return portText_->text().toLocal8Bit().toStdString(); }

void PortWindow::SetPortText(const std::string& text) {
  const QString port = FromCore(text);
  portText_->setMaxLength(std::max(typingLimit_, int(port.size())));
  portText_->setText(port);
}

void PortWindow::AddUsedPort(const std::string& port) { usedPorts_->addItem(FromCore(port)); }

void PortWindow::SetApplyEnabled(bool enabled) { apply_->setEnabled(enabled); }

void PortWindow::ShowMessage(const std::string& text) { ShowBox(this, QMessageBox::NoIcon, FromCore(text)); }

void PortWindow::Close() { close(); }

void PortWindow::closeEvent(QCloseEvent* event) {
  QWidget::closeEvent(event);
  EndProgram(ExitCodeOnClose(controller_));
}

void PortWindow::EndProgram(int exitCode) {
  if (exitCode_) return;
  exitCode_ = exitCode;
  emit ended(exitCode);
}

}  // namespace gui
