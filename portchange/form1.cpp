#include "form1.h"

#include <utility>

#include "form_parts.h"
#include "pictures.h"

namespace portchange {

using gui::AddControl;
using gui::AddLabel;
using gui::Backdrop;

Form1::Form1(ServerTree tree) : PortWindow(ApplyMode::Change, std::move(tree)) {
  setWindowTitle(QStringLiteral("Setup Web Service Port"));
  setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                 Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFixedSize(311, 248);
  setWindowIcon(gui::ComputerIcon(QColor(0x1f, 0x4f, 0xb0)));

  const QFont font = gui::ArialFont(9);
  AddLabel(this, "Label1", {360, 240, 735, 255}, font, QStringLiteral("Port :"), Backdrop::Transparent);
  auto* text1 = AddControl<QLineEdit>(this, "Text1", {360, 480, 1260, 375}, font);
  text1->setMaxLength(5);
  text1->setText(QStringLiteral("Text1"));
  auto* command1 = AddControl<QPushButton>(this, "Command1", {2160, 480, 975, 495}, font);
  command1->setText(QStringLiteral("Change"));
  auto* command2 = AddControl<QPushButton>(this, "Command2", {3360, 480, 975, 495}, font);
  command2->setText(QStringLiteral("Exit"));
  AddLabel(this, "Label2", {360, 1200, 3615, 255}, font, QStringLiteral("Below number don't use."),
           Backdrop::Opaque);
  auto* list1 = AddControl<QListWidget>(this, "List1", {240, 1440, 4215, 1860}, font);

  setTabOrder(text1, command1);
  setTabOrder(command1, list1);
  setTabOrder(list1, command2);
  connect(command2, &QPushButton::clicked, this, &QWidget::close);
  Bind(text1, list1, command1);
}

}  // namespace portchange
