#pragma once

// The server's configuration file as far as its Listen lines go: reading the
// port and rewriting it (listen_file.cpp, the same on every platform).

#include <functional>
#include <string>
#include <string_view>

// True for a line that starts with "Listen" and a space: its first
// space-separated token is exactly "Listen" and a second one, which may be
// empty, follows. Tabs separate nothing.
bool IsListenLine(std::string_view line);

// The second token of a Listen line (may be empty): the address and port.
std::string_view ListenToken(std::string_view listenLine);

// The port of a Listen line: its second token after the last ":" outside of
// brackets, so "[::1]:8080" gives "8080", "0.0.0.0:80" and "80" give "80".
std::string_view ListenPortText(std::string_view listenLine);

// Calls onPort with the port of every Listen line, in file order.
void ReadListenPort(const std::string& path, const std::function<void(const std::string&)>& onPort);

// The text with the port of every Listen line replaced by newPortText; the
// address and any further tokens of the line are kept. Every line is ended
// with lineEnd; all other bytes are kept as they are.
std::string RewriteListenText(std::string_view text, std::string_view newPortText, std::string_view lineEnd);

// The file's text with its Listen lines rewritten with newPortText, with
// the platform's line ends. A file without a Listen line is refused.
std::string RewrittenListenFile(const std::string& path, const std::string& newPortText);

// Rewrites the file's Listen lines with newPortText and replaces the file in
// one step, so a failure leaves the original untouched.
void RewriteListenLines(const std::string& path, const std::string& newPortText);
