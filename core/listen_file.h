#pragma once

#include <functional>
#include <string>
#include <string_view>

// True when a file (not a folder) exists at the path, whatever its attributes.
bool IsFileExit(const std::string& strFileName);

// True for a line whose first space-separated token is exactly "Listen" and
// that has at least one more token.
bool IsListenLine(std::string_view line);

// The second token of a Listen line (may be empty).
std::string_view ListenPortText(std::string_view listenLine);

// Calls onPort with the port text of every Listen line, in file order.
void ReadListenPort(const std::string& path,
                    const std::function<void(const std::string&)>& onPort);

// The text with the port of every Listen line replaced by newPortText; the
// address and any further tokens of the line are kept. Every line is ended
// with lineEnd; all other bytes are kept as they are.
std::string RewriteListenText(std::string_view text, std::string_view newPortText,
                              std::string_view lineEnd);

// Rewrites the file's Listen lines with newPortText and replaces the file in
// one step, so a failure leaves the original untouched.
void RewriteListenLines(const std::string& path, const std::string& newPortText);
