#include "program.h"

#include <QApplication>
#include <QScreen>

namespace gui {

namespace {

void Centre(QWidget& window) {
  window.winId();  // the frame, and so the whole window's size, is known once it exists
  QRect whole = window.frameGeometry();
  whole.moveCenter(window.screen()->availableGeometry().center());
  window.move(whole.topLeft());
}

}  // namespace

std::optional<int> StartProgram(PortWindow& window) {
  // Placed before start-up, so that a message it shows sits over the window's place.
  Centre(window);
  window.RunStep(QStringLiteral("Could not read the ports."), &PortController::Start);
  if (window.exitCode()) return window.exitCode();
  window.show();
  window.activateWindow();
  return std::nullopt;
}

int RunProgram(PortWindow& window) {
  // The program ends with its window, in the window's own time and with its
  // code, not whenever the last box or window on screen happens to close.
  QApplication::setQuitOnLastWindowClosed(false);
  QObject::connect(&window, &PortWindow::ended, [](int exitCode) { QCoreApplication::exit(exitCode); });
  if (const std::optional<int> exitCode = StartProgram(window)) return *exitCode;
  return QApplication::exec();
}

}  // namespace gui
