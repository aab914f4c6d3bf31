#include "listen_file.h"

#include <stdexcept>
#include <utility>

#include "file_io.h"
#include "text_lines.h"

namespace {

constexpr std::string_view kListenPrefix = "Listen ";

}  // namespace

bool IsListenLine(std::string_view line) { return line.substr(0, kListenPrefix.size()) == kListenPrefix; }

std::string_view ListenToken(std::string_view listenLine) {
  const std::string_view rest = listenLine.substr(kListenPrefix.size());
  return rest.substr(0, rest.find(' '));
}

ListenParts SplitListenToken(std::string_view token) {
  // An IPv6 address holds colons of its own, inside its brackets.
  const size_t bracket = token.rfind(']');
  const size_t colon = token.rfind(':');
  if (colon == std::string_view::npos || (bracket != std::string_view::npos && colon < bracket)) return {{}, token};
  return {token.substr(0, colon + 1), token.substr(colon + 1)};
}

std::string_view ListenPortText(std::string_view listenLine) { return SplitListenToken(ListenToken(listenLine)).port; }

void ReadListenPort(const std::string& path, const std::function<void(const std::string&)>& onPort) {
  ForEachLine(ReadWholeFile(path), [&](std::string_view line) {
    if (IsListenLine(line)) onPort(std::string(ListenPortText(line)));
  });
}

namespace {

// The rewritten text; counts the Listen lines it changed.
std::string Rewrite(std::string_view text, std::string_view newPortText, std::string_view lineEnd,
                    size_t& listenLines) {
  std::string result;
  result.reserve(text.size() + text.size() / 32 + newPortText.size());
  ForEachLine(text, [&](std::string_view line) {
    if (IsListenLine(line)) {
      ++listenLines;
      const std::string_view token = ListenToken(line);
      result += kListenPrefix;
      result += SplitListenToken(token).address;
      result += newPortText;
      // An empty token (two spaces after "Listen") has nothing after it to keep.
      if (!token.empty()) result += line.substr(kListenPrefix.size() + token.size());
    } else {
      result += line;
    }
    result += lineEnd;
  });
  return result;
}

}  // namespace

std::string RewriteListenText(std::string_view text, std::string_view newPortText, std::string_view lineEnd) {
  size_t listenLines = 0;
  return Rewrite(text, newPortText, lineEnd, listenLines);
}

FileReplacement RewriteListenLines(const std::string& path, const std::string& newPortText) {
  std::string original = ReadWholeFile(path);
  size_t listenLines = 0;
  const std::string rewritten = Rewrite(original, newPortText, kLineEnd, listenLines);
  if (listenLines == 0)
    throw std::runtime_error("\"" + path +
                             "\" holds no Listen line (\"Listen\" at the very start of a line, "
                             "a space, then the port), so there is no port to change.");
  return FileReplacement(path, std::move(original), rewritten);
}
