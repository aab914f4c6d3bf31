#pragma once

#include "form_layout.h"

namespace portsetup {

// The setup page: a borderless window with a banner, the port box, the used
// ports and "Next", driving a PortController in setup mode.
extern const gui::FormLayout kForm1Layout;

}  // namespace portsetup
