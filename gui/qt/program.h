#pragma once

// Program start, the same for both programs:
//
//   int main(int argc, char* argv[]) {
//     QApplication app(argc, argv);
//     Form1 form;
//     return gui::RunProgram(form);
//   }
//
// Tests call StartProgram on a window of their own instead, drive it, and read
// window.exitCode() to see whether and how the program ended; nothing here
// ends the test process.

#include <optional>

#include "port_window.h"

namespace gui {

// Centres the window, runs its controller's start-up under the wait cursor
// and, unless start-up ended the program, shows it with the focus in the port
// box. Returns the exit code when the program has already ended.
std::optional<int> StartProgram(PortWindow& window);

// StartProgram, then the event loop until the window's program ends.
// Returns the program's exit code.
int RunProgram(PortWindow& window);

}  // namespace gui
