#include "form1.h"

#include <QPainter>
#include <QPixmap>
#include <utility>

#include "form_parts.h"
#include "pictures.h"

namespace portsetup {

namespace {

using gui::AddControl;
using gui::AddLabel;
using gui::Backdrop;

const QColor kScreen(0x00, 0x80, 0x80);

// The page header: a white strip with a thin rule along its foot and the
// computer at its right end.
QPixmap Banner() {
  QPixmap banner(495, 56);
  banner.fill(Qt::white);
  QPainter painter(&banner);
  painter.setPen(QColor(0x80, 0x80, 0x80));
  painter.drawLine(0, 55, 494, 55);
  gui::DrawComputer(painter, QRectF(441, 6, 44, 44), kScreen);
  return banner;
}

}  // namespace

Form1::Form1(ServerTree tree) : PortWindow(ApplyMode::Setup, std::move(tree)) {
  setWindowTitle(QStringLiteral(u"設定Apache 通訊埠"));
  setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
  setFixedSize(496, 353);
  setWindowIcon(gui::ComputerIcon(kScreen));

  const QFont font = gui::ArialFont(9);
  const QFont small = gui::ArialFont(8.25);
  auto* picture1 = AddControl<QLabel>(this, "Picture1", {0, 0, 7455, 975}, font);
  picture1->setPixmap(Banner());
  picture1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  AddLabel(picture1, "Label4", {360, 120, 2295, 255}, gui::ArialFont(9, true), QStringLiteral("Setup Port"),
           Backdrop::Transparent);
  AddLabel(picture1, "Label3", {600, 480, 5895, 375}, small,
           QStringLiteral("Setup Apache web service port , If you don't know please press next."),
           Backdrop::Transparent);

  AddLabel(this, "Label1", {480, 1440, 735, 255}, font, QStringLiteral("Port :"), Backdrop::Transparent);
  auto* text1 = AddControl<QLineEdit>(this, "Text1", {480, 1800, 2220, 375}, font);
  text1->setMaxLength(5);
  text1->setText(QStringLiteral("Text1"));
  AddLabel(this, "Label2", {3720, 1320, 2295, 255}, font, QStringLiteral("below number don't use."),
           Backdrop::Opaque);
  auto* list1 = AddControl<QListWidget>(this, "List1", {3720, 1680, 2655, 2085}, font);
  // Together the two lines draw an etched rule above the button.
  gui::AddLine(this, "Line2", 0, 4665, 7440, QPalette::Shadow);
  gui::AddLine(this, "Line1", 0, 4680, 7440, QPalette::Light);
  auto* command1 = AddControl<QPushButton>(this, "Command1", {5880, 4800, 1215, 375}, small);
  command1->setText(QStringLiteral("Next"));

  setTabOrder(text1, command1);
  setTabOrder(command1, list1);
  Bind(text1, list1, command1);
}

}  // namespace portsetup
