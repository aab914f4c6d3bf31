// A bare window holding one line of Arial text: what any window with text
// pays, over the bare window, to set up its fonts.
#include <QApplication>
#include <QFont>
#include <QLabel>

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QLabel window("Port :");
  window.setFont(QFont("Arial", 9));
  window.show();
  return QApplication::exec();
}
