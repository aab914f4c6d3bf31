#pragma once

// The server's configuration file as far as its Listen lines go: reading the
// port and rewriting it (listen_file.cpp, the same on every platform).

#include <functional>
#include <string>
#include <string_view>

#include "file_io.h"

// True for a line that starts with "Listen" and a space: its first
// space-separated token is exactly "Listen" and a second one, which may be
// empty, follows. Tabs separate nothing.
bool IsListenLine(std::string_view line);

// The second token of a Listen line (may be empty): the address and port.
std::string_view ListenToken(std::string_view listenLine);

// A Listen line's second token cut in two: the address, up to and with the
// last ":" outside of brackets (may be empty), and the port after it. So
// "[::1]:8080" is "[::1]:" and "8080"; "80" and "[fe80::1]" are all port.
struct ListenParts {
  std::string_view address;
  std::string_view port;
};
ListenParts SplitListenToken(std::string_view token);

// The port of a Listen line, as SplitListenToken cuts its second token.
std::string_view ListenPortText(std::string_view listenLine);

// Calls onPort with the port of every Listen line, in file order.
void ReadListenPort(const std::string& path, const std::function<void(const std::string&)>& onPort);

// The text with the port of every Listen line replaced by newPortText; the
// address and any further tokens of the line are kept. Every line is ended
// with lineEnd; all other bytes are kept as they are.
std::string RewriteListenText(std::string_view text, std::string_view newPortText, std::string_view lineEnd);

// httpd.conf with the port of its Listen lines replaced by newPortText, with
// the platform's line ends, waiting beside it to be tested and to take its
// place. A file without a Listen line is refused.
FileReplacement RewriteListenLines(const std::string& path, const std::string& newPortText);
