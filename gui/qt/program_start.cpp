#include "program_start.h"

#include <QApplication>

#include "port_window.h"
#include "program_end.h"

namespace gui {

int RunProgram(int argc, char** argv, const FormLayout& layout) {
  QApplication app(argc, argv);
  // The program ends with its window, in the window's own time and with its
  // code, not whenever the last box or window on screen happens to close.
  QApplication::setQuitOnLastWindowClosed(false);
  return RunReportingErrors(
      [&] {
        PortWindow window(layout, InstalledServerTree());
        QObject::connect(&window, &PortWindow::ended, [](int exitCode) { QCoreApplication::exit(exitCode); });
        return window.RunUntilEnded([] { QApplication::exec(); });
      },
      [&](const std::string& text) { ShowBox(nullptr, QString::fromUtf8(layout.caption), text, BoxIcon::Error, {}); });
}

}  // namespace gui
