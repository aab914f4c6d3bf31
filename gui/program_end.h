#pragma once

// What both toolkits do alike around a window's controller: how its steps
// report an error, and the code its program ends with.

#include <optional>
#include <string>

#include "port_controller.h"

namespace gui {

// The program's exit codes, for the installer or script that started it.
enum ExitCode : int {
  kApplied = 0,     // the port was written and the server's commands ran
  kFailed = 1,      // an error was reported
  kNotApplied = 2,  // ended without applying: the missing file, Exit, the close box
};

// Runs one of the controller's steps. An error it throws comes back as the
// text of the box that reports it: what failed, a blank line, then the
// system's account naming the path or command (in the ANSI code page).
std::optional<std::string> RunStep(PortController& controller, void (PortController::*step)());

// The code a program ends with when its window closed without an error.
inline int ExitCodeOnClose(const PortController& controller) { return controller.applied() ? kApplied : kNotApplied; }

}  // namespace gui
