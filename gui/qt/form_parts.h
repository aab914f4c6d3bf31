#pragma once

// A window's controls as Qt widgets, built from its layout table: twips to
// pixels, Arial fonts, labels, lines and the setup page's banner.

#include <QIcon>
#include <QWidget>

#include "form_layout.h"

namespace gui {

// Twips as pixels at 96 DPI, where every value in the tables divides by 15.
int Pixels(int twips);

// The computer picture the window icon and the banner show.
QIcon ComputerIcon();

// A new widget for the control, with the designer name as its object name,
// placed in its container.
QWidget* AddControl(QWidget& container, const ControlLayout& control);

}  // namespace gui
