#pragma once

// Building a window from its designer layout: positions and sizes are given
// in twips (15 to the pixel), fonts as Arial in points.

#include <QFont>
#include <QLabel>
#include <QPalette>
#include <QRect>
#include <QWidget>

namespace gui {

struct Twips {
  int left, top, width, height;
};

QRect PixelRect(const Twips& twips);

// Arial; systems without it resolve the name to a metric twin.
QFont ArialFont(qreal points, bool bold = false);

// A new control of the kind with its designer name, placed in its container.
template <typename Control>
Control* AddControl(QWidget* container, const char* name, const Twips& place, const QFont& font) {
  auto* control = new Control(container);
  control->setObjectName(QString::fromLatin1(name));
  control->setGeometry(PixelRect(place));
  control->setFont(font);
  return control;
}

enum class Backdrop { Transparent, Opaque };

// A label with its text at the top left, wrapped at its width.
QLabel* AddLabel(QWidget* container, const char* name, const Twips& place, const QFont& font,
                 const QString& text, Backdrop backdrop);

// A one-pixel horizontal line in one of the style's colours.
class Line : public QWidget {
  Q_OBJECT

 public:
  Line(QPalette::ColorRole colour, QWidget* parent);
};

// A line from (left, top) to (right, top), in twips.
Line* AddLine(QWidget* container, const char* name, int left, int top, int right,
              QPalette::ColorRole colour);

}  // namespace gui
