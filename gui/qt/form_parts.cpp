#include "form_parts.h"

namespace gui {

namespace {

constexpr int kTwipsPerPixel = 15;

}  // namespace

QRect PixelRect(const Twips& twips) {
  return QRect(twips.left / kTwipsPerPixel, twips.top / kTwipsPerPixel, twips.width / kTwipsPerPixel,
               twips.height / kTwipsPerPixel);
}

QFont ArialFont(qreal points, bool bold) {
  QFont font(QStringLiteral("Arial"));
  font.setPointSizeF(points);
  font.setBold(bold);
  return font;
}

QLabel* AddLabel(QWidget* container, const char* name, const Twips& place, const QFont& font,
                 const QString& text, Backdrop backdrop) {
  auto* label = AddControl<QLabel>(container, name, place, font);
  label->setText(text);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setWordWrap(true);
  label->setAutoFillBackground(backdrop == Backdrop::Opaque);
  return label;
}

Line::Line(QPalette::ColorRole colour, QWidget* parent) : QWidget(parent) {
  setBackgroundRole(colour);
  setAutoFillBackground(true);
}

Line* AddLine(QWidget* container, const char* name, int left, int top, int right,
              QPalette::ColorRole colour) {
  auto* line = new Line(colour, container);
  line->setObjectName(QString::fromLatin1(name));
  line->setGeometry(PixelRect({left, top, right - left, kTwipsPerPixel}));
  return line;
}

}  // namespace gui
