#pragma once

// How a program reports an error and which code it ends with, alike on both
// toolkits.

#include <exception>
#include <functional>
#include <string>

namespace gui {

// The program's exit codes, for the installer or script that started it.
enum ExitCode : int {
  kApplied = 0,     // the port was written and the server listens on it
  kFailed = 1,      // an error was reported, or the program was told to end before it applied the port
  kNotApplied = 2,  // ended without applying: the missing file, another copy, Exit, the close box
};

// The text of the box that reports an error: what failed, a blank line, then
// the system's account naming the path or command (in the ANSI code page).
std::string ErrorBoxText(const std::exception& error);
// What a second copy says when its toolkit cannot bring the first one's
// window to the front.
extern const char kOtherCopyOpen[];

// Runs a program's start: it makes the window and runs it, returning the
// exit code. An error that escapes it has no window to tell it: it is shown
// in a box of its own (errorBox, given ErrorBoxText) and the program fails.
int RunReportingErrors(const std::function<int()>& start, const std::function<void(const std::string&)>& errorBox);

// A box's text with each run that has no space or line end (a path, a line
// a server wrote) and is wider than `width` cut into lines of the width,
// each as wide as `measure` says, in the toolkit's units: the toolkits'
// boxes wrap a text at its spaces, but keep such a run whole, however much
// wider than the screen.
std::wstring CutToWidth(const std::wstring& text, int width, const std::function<int(const std::wstring&)>& measure);

// All that a failed command wrote, for a box that can show more than its
// first lines; empty for any other error.
std::string ErrorDetails(const std::exception& error);

}  // namespace gui
