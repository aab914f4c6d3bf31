// The least a Qt Widgets program does to show a window: the baseline the
// programs' start to window shown is measured against.
#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QWidget window;
  window.show();
  return QApplication::exec();
}
