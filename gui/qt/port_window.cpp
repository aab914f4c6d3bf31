#include "port_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <algorithm>
#include <utility>
#include <vector>

#include "box_text.h"
#include "form_parts.h"

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

// Texts cross to and from the core in the system's own 8-bit encoding. A
// command's output may hold NULs: the text is taken whole, to its end.
QString FromCore(const std::string& text) { return QString::fromLocal8Bit(text.data(), qsizetype(text.size())); }

Qt::WindowFlags FrameFlags(Frame frame) {
  if (frame == Frame::None) return Qt::Window | Qt::FramelessWindowHint;
  return Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
}

void Centre(QWidget& window) {
  window.winId();  // the frame, and so the whole window's size, is known once it exists
  const QRect work = window.screen()->availableGeometry();
  const QRect whole = window.frameGeometry();
  const PixelArea place = CentredOn({work.x(), work.y(), work.width(), work.height()}, whole.width(), whole.height());
  window.move(place.left, place.top);
}

// A box centred over its window once its size is known, kept on the screen.
// Qt would place it by the window's corner, which it does not know for a
// window without a frame.
class CentredBox : public QMessageBox {
 public:
  using QMessageBox::QMessageBox;

 protected:
  void showEvent(QShowEvent* event) override {
    QMessageBox::showEvent(event);
    if (!parentWidget()) return;
    const QRect work = screen()->availableGeometry();
    const QPoint centre = parentWidget()->frameGeometry().center();
    move(std::clamp(centre.x() - width() / 2, work.left(), std::max(work.left(), work.right() - width())),
         std::clamp(centre.y() - height() / 2, work.top(), std::max(work.top(), work.bottom() - height())));
  }
};

}  // namespace

void ShowBox(QWidget* over, const QString& caption, const std::string& text, BoxIcon icon, const std::string& details) {
  const CursorOverride shown(Qt::ArrowCursor);
  CentredBox box(icon == BoxIcon::Error ? QMessageBox::Critical : QMessageBox::NoIcon, caption, {}, QMessageBox::Ok,
                 over);
  const QScreen* screen = over ? over->screen() : QGuiApplication::primaryScreen();
  // Room is left for the box's icon, margins and frame.
  const QFontMetrics metrics = box.fontMetrics();
  box.setText(QString::fromStdWString(
      CutToWidth(FromCore(text).toStdWString(), screen->availableGeometry().width() * 3 / 4,
                 [&](const std::wstring& run) { return metrics.horizontalAdvance(QString::fromStdWString(run)); })));
  box.setDetailedText(FromCore(details));
  box.exec();
}

PortWindow::PortWindow(const FormLayout& layout, ServerTree tree) : ProgramWindow(layout.mode, std::move(tree)) {
  setObjectName(QString::fromLatin1(kFormName));
  setWindowTitle(QString::fromUtf8(layout.caption));
  setWindowFlags(FrameFlags(layout.frame));
  setFixedSize(Pixels(layout.width), Pixels(layout.height));
  setWindowIcon(ComputerIcon());
  BuildControls(layout);
  Centre(*this);
}

void PortWindow::BuildControls(const FormLayout& layout) {
  // Qt's Tab follows the order the widgets are made in.
  std::vector<QWidget*> made(layout.controls.size());
  QLabel* label = nullptr;  // the one made just before
  for (const Creation& step : CreationOrder(layout)) {
    const ControlLayout& control = layout.controls[step.control];
    QWidget* widget = AddControl(step.container == kOnForm ? *this : *made[step.container], control);
    made[step.control] = widget;
    // A label names the box made after it, as it does on Windows, for a
    // screen reader: its buddy, and its name, as Qt names a list by neither.
    if (label && (control.kind == ControlKind::TextBox || control.kind == ControlKind::ListBox)) {
      label->setBuddy(widget);
      widget->setAccessibleName(label->text());
    }
    label = control.kind == ControlKind::Label ? static_cast<QLabel*>(widget) : nullptr;
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
      case Role::Exit:
        (control.role == Role::Apply ? apply_ : exit_) = static_cast<QPushButton*>(widget);
        connect(static_cast<QPushButton*>(widget), &QPushButton::clicked, this,
                [this, role = control.role] { Press(role); });
        break;
      case Role::None:
        break;
    }
  }
  // The limit is for typing, as a Windows edit's: a longer port from the file
  // is shown whole (cut, "0008080" would read "00080", another port), and
  // typing adds nothing to it until it is shortened to the limit.
  connect(portText_, &QLineEdit::textChanged, this,
          [this](const QString& text) { portText_->setMaxLength(std::max(typingLimit_, int(text.size()))); });
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

void PortWindow::Close() { close(); }

void PortWindow::KeepAlive() { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }

void PortWindow::closeEvent(QCloseEvent* event) {
  if (!MayClose(event->spontaneous())) return event->ignore();
  QWidget::closeEvent(event);
  OnClosed();
}

void PortWindow::WhileBusy(const std::function<void()>& work) {
  const CursorOverride shown(Qt::WaitCursor);
  // It takes no click while the step runs, and looks it.
  if (exit_) exit_->setEnabled(false);
  work();
  if (exit_) exit_->setEnabled(true);
}

void PortWindow::ShowBox(const std::string& text, BoxIcon icon, const std::string& details) {
  gui::ShowBox(this, windowTitle(), text, icon, details);
}

void PortWindow::PointToOtherCopy() { ShowBox(kOtherCopyOpen, BoxIcon::None, {}); }

void PortWindow::Reveal() { show(); }

void PortWindow::Ended(int exitCode) { emit ended(exitCode); }

}  // namespace gui
