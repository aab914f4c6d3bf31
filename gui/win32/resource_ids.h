#pragma once

// Shared by the programs' resource script and the window code.
#define PORTGUI_ICON 1
