#pragma once

#include "form_layout.h"

namespace portchange {

// The port change window: the port box, "Change", "Exit" and the used ports,
// driving a PortController in change mode.
extern const gui::FormLayout kForm1Layout;

}  // namespace portchange
