#include "hidden_command.h"

#include <deque>

#include "text_lines.h"

namespace {

// Enough for a server's account of why it did not start, little enough for a
// message box.
constexpr size_t kShownLines = 4;

// The line without trailing blanks, and with control characters (a NUL would
// cut a message box's text short) shown as "?".
std::string Printable(std::string_view line) {
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
  std::string shown(line);
  for (char& c : shown)
    if (static_cast<unsigned char>(c) < 0x20 && c != '\t') c = '?';
  return shown;
}

}  // namespace

std::string DescribeCommand(const Command& command) {
  std::string line = "\"" + command.program + "\"";
  for (const std::string& argument : command.arguments) line += " " + argument;
  return line;
}

std::string DescribeFailure(const Command& command, const CommandResult& result) {
  std::deque<std::string_view> last;
  ForEachLine(result.output, [&](std::string_view line) {
    if (line.find_first_not_of(" \t") == std::string_view::npos) return;
    if (last.size() == kShownLines) last.pop_front();
    last.push_back(line);
  });
  std::string text = DescribeCommand(command) + " ended with exit code " + std::to_string(result.exitCode);
  text += last.empty() ? " and no output." : ", its output ending:";
  for (const std::string_view line : last) text += "\n    " + Printable(line);
  return text;
}
