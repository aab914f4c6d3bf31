#include "pictures.h"

#include <QLinearGradient>
#include <QPixmap>

namespace gui {

namespace {

const QColor kCase(0xd4, 0xd0, 0xc8);
const QColor kOutline(0x40, 0x40, 0x40);

}  // namespace

void DrawComputer(QPainter& painter, const QRectF& box, const QColor& screen) {
  // Drawn on a 32-unit square, then scaled to the box.
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.translate(box.topLeft());
  painter.scale(box.width() / 32, box.height() / 32);
  painter.setPen(QPen(kOutline, 1));

  painter.setBrush(kCase);
  painter.drawRoundedRect(QRectF(2.5, 1.5, 27, 20), 2, 2);
  painter.drawRect(QRectF(13.5, 21.5, 5, 3));
  painter.drawRect(QRectF(8.5, 24.5, 15, 2));
  painter.drawRoundedRect(QRectF(1.5, 27.5, 29, 3.5), 1, 1);

  QLinearGradient glass(0, 4, 0, 18);
  glass.setColorAt(0, screen.lighter(160));
  glass.setColorAt(1, screen);
  painter.setBrush(glass);
  painter.drawRect(QRectF(5.5, 4.5, 21, 14));
  painter.restore();
}

QIcon ComputerIcon(const QColor& screen) {
  QIcon icon;
  for (const int size : {16, 32, 48}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    DrawComputer(painter, QRectF(0, 0, size, size), screen);
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace gui
