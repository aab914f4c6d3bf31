#include <QApplication>

#include "port_window.h"
#include "program_start.h"

namespace gui {

int RunProgram(int argc, char** argv, const FormLayout& layout) {
  QApplication app(argc, argv);
  // The program ends with its window, in the window's own time and with its
  // code, not whenever the last box or window on screen happens to close.
  QApplication::setQuitOnLastWindowClosed(false);
  PortWindow window(layout, InstalledServerTree());
  QObject::connect(&window, &PortWindow::ended, [](int exitCode) { QCoreApplication::exit(exitCode); });
  if (const std::optional<int> exitCode = window.Open()) return *exitCode;
  return QApplication::exec();
}

}  // namespace gui
