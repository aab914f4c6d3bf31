#pragma once

// Pictures drawn in code, so that no image file travels with the programs.

#include <QColor>
#include <QIcon>
#include <QPainter>
#include <QRectF>

namespace gui {

// A small desktop computer (screen, stand and keyboard) filling the box.
void DrawComputer(QPainter& painter, const QRectF& box, const QColor& screen);

// A window icon: the computer with the given screen colour, at the usual sizes.
QIcon ComputerIcon(const QColor& screen);

}  // namespace gui
