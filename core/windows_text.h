#pragma once

// Text between the system's UTF-16 calls, the layout tables' UTF-8 and the
// core's strings, which hold the ANSI code page as the system's files and
// paths do; and the system's own words for its error codes. The core and the
// Win32 windows both use it, so the program speaks one way.

#include <windows.h>

#include <string>
#include <string_view>

std::wstring FromAnsi(std::string_view text);
std::wstring FromUtf8(std::string_view text);

// A character the code page lacks becomes '?', never a look-alike: a port is
// refused or written as it was typed.
std::string ToAnsi(std::wstring_view text);

// "<what>: <the system's words for the error> (error N)".
std::string WindowsErrorText(const std::string& what, DWORD error);

[[noreturn]] void ThrowWindowsError(const std::string& what, DWORD error);

// Throws with the error of the last call that failed: read before the
// message is built, which may change it. `describe` returns what failed.
template <typename Describe>
[[noreturn]] void ThrowLastError(Describe describe) {
  const DWORD error = GetLastError();
  ThrowWindowsError(describe(), error);
}
