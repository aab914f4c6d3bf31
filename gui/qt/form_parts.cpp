#include "form_parts.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>

namespace gui {

namespace {

QRect PixelRect(const Twips& twips) {
  return QRect(Pixels(twips.left), Pixels(twips.top), Pixels(twips.width), Pixels(twips.height));
}

// Arial; systems without it resolve the name to a metric twin.
QFont ArialFont(const Font& font) {
  QFont arial(QStringLiteral("Arial"));
  arial.setPointSizeF(font.points);
  arial.setBold(font.bold);
  return arial;
}

// A white strip with a rule along its foot and the computer at its right end.
QPixmap Banner() {
  QPixmap banner(kBanner.width, kBanner.height);
  banner.fill(Qt::white);
  QPainter painter(&banner);
  painter.setPen(QColor::fromRgb(kBanner.ruleRgb));
  painter.drawLine(0, kBanner.height - 1, kBanner.width - 1, kBanner.height - 1);
  painter.drawPixmap(kBanner.iconLeft, kBanner.iconTop, ComputerIcon().pixmap(kBanner.iconSize));
  return banner;
}

QLabel* NewLabel(QWidget* container, const ControlLayout& control) {
  auto* label = new QLabel(QString::fromUtf8(control.text), container);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setWordWrap(true);
  // A transparent label shows its container's background, the banner's white among others.
  label->setAutoFillBackground(!control.transparent);
  return label;
}

QWidget* NewControl(QWidget* container, const ControlLayout& control) {
  const QString text = QString::fromUtf8(control.text);
  switch (control.kind) {
    case ControlKind::Picture: {
      // The one picture box of the windows is the setup page's banner.
      auto* picture = new QLabel(container);
      picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      picture->setPixmap(Banner());
      return picture;
    }
    case ControlKind::Label:
      return NewLabel(container, control);
    case ControlKind::TextBox: {
      auto* box = new QLineEdit(text, container);
      box->setMaxLength(control.maxLength);
      return box;
    }
    case ControlKind::ListBox:
      return new QListWidget(container);
    case ControlKind::Button:
      return new QPushButton(text, container);
    case ControlKind::Line: {
      auto* line = new QWidget(container);
      line->setBackgroundRole(control.lineColour == LineColour::DarkShadow ? QPalette::Shadow : QPalette::Light);
      line->setAutoFillBackground(true);
      return line;
    }
  }
  return nullptr;
}

}  // namespace

int Pixels(int twips) { return twips / 15; }

QIcon ComputerIcon() { return QIcon(QStringLiteral(":/computer.ico")); }

QWidget* AddControl(QWidget& container, const ControlLayout& control) {
  QWidget* widget = NewControl(&container, control);
  widget->setObjectName(QString::fromLatin1(control.name));
  QRect place = PixelRect(control.place);
  if (control.kind == ControlKind::Line) place.setHeight(1);
  widget->setGeometry(place);
  widget->setFont(ArialFont(control.font));
  return widget;
}

}  // namespace gui
