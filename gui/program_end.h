#pragma once

// How a program ends when its start fails, alike on both toolkits.

#include <functional>
#include <string>

namespace gui {

// Runs a program's start: it makes the window and runs it, returning the
// exit code. An error that escapes it has no window to tell it: it is shown
// in a box of its own (errorBox, given ErrorBoxText) and the program fails.
int RunReportingErrors(const std::function<int()>& start, const std::function<void(const std::string&)>& errorBox);

}  // namespace gui
