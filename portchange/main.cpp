#include <QApplication>

#include "form1.h"
#include "program.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  portchange::Form1 form;
  return gui::RunProgram(form);
}
