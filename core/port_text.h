#pragma once

#include <optional>
#include <string>
#include <string_view>

// The port text with surrounding blanks removed: spaces, tabs and line ends,
// which a pasted "81" may bring along.
std::string_view TrimBlanks(std::string_view text);

// A decimal number: surrounding blanks, an optional sign, digits with an
// optional fraction, an optional exponent.
bool IsNumber(std::string_view text);

// The port, when the text is one the server can listen on: trimmed, plain
// decimal digits (leading zeros allowed), from 1 to 65535.
std::optional<int> IsListenablePort(std::string_view text);

// The port as the server reads it, for comparing texts: trimmed and, when it
// is plain digits, without leading zeros; any other text stays as trimmed.
std::string PortKey(std::string_view text);
