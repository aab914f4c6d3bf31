#pragma once

// The texts of the boxes both toolkits show.

#include <exception>
#include <functional>
#include <string>

namespace gui {

// The text of the box that reports an error: what failed, a blank line, then
// the system's account naming the path or command (in the ANSI code page).
std::string ErrorBoxText(const std::exception& error);

// All that a failed command wrote, for a box that can show more than its
// first lines; empty for any other error.
std::string ErrorDetails(const std::exception& error);

// What a second copy says when its toolkit cannot bring the first one's
// window to the front.
extern const char kOtherCopyOpen[];

// A box's text with each run that has no space or line end (a path, a line
// a server wrote) and is wider than `width` cut into lines of the width,
// each as wide as `measure` says, in the toolkit's units: the toolkits'
// boxes wrap a text at its spaces, but keep such a run whole, however much
// wider than the screen.
std::wstring CutToWidth(const std::wstring& text, int width, const std::function<int(const std::wstring&)>& measure);

}  // namespace gui
