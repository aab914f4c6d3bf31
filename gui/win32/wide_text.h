#pragma once

// Text between the windows (UTF-16), the layout tables (UTF-8) and the core,
// which keeps text in the ANSI code page as the system's files and paths are.

#include <string>

namespace gui {

std::wstring FromUtf8(const std::string& text);
std::wstring FromAnsi(const std::string& text);

// A character the code page lacks becomes '?', never a look-alike: a port is
// refused or written as it was typed.
std::string ToAnsi(const std::wstring& text);

}  // namespace gui
