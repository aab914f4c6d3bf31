#include "hidden_command.h"

#include <algorithm>
#include <stdexcept>

#include "text_lines.h"

namespace {

// Enough for a server's account of why it did not start, little enough for a
// message box: the cause comes first, the lines after it are detail.
constexpr size_t kShownLines = 6;
constexpr size_t kShownWidth = 160;

// The line without trailing blanks, cut to the width shown, and with control
// characters (a NUL would cut a message box's text short) shown as "?".
std::string Printable(std::string_view line) {
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
  std::string shown(line.substr(0, kShownWidth));
  for (char& c : shown)
    if (static_cast<unsigned char>(c) < 0x20 && c != '\t') c = '?';
  return line.size() > kShownWidth ? shown + "..." : shown;
}

}  // namespace

std::string DescribeSpan(std::chrono::milliseconds span) {
  const auto count = span.count();
  if (count % 60000 == 0) return std::to_string(count / 60000) + (count == 60000 ? " minute" : " minutes");
  if (count % 1000 == 0) return std::to_string(count / 1000) + " s";
  return std::to_string(count) + " ms";
}

void ThrowCommandOutlasted(const Command& command, std::chrono::milliseconds limit) {
  throw std::runtime_error(DescribeCommand(command) + " did not end within " + DescribeSpan(limit) +
                           ", so it was ended.");
}

std::string DescribeCommand(const Command& command) {
  std::string line = "\"" + command.program + "\"";
  for (const std::string& argument : command.arguments) {
    const bool quoted = argument.empty() || argument.find_first_of(" \t") != std::string::npos;
    line += quoted ? " \"" + argument + "\"" : " " + argument;
  }
  return line;
}

std::string DescribeFailure(const Command& command, const CommandResult& result, const std::string& outcome) {
  std::string text = DescribeCommand(command) + " ended with exit code " + std::to_string(result.exitCode) + outcome;
  size_t lines = 0;
  ForEachLine(result.output, [&](std::string_view line) {
    if (line.find_first_not_of(" \t") == std::string_view::npos) return;
    if (lines++ < kShownLines) text += (lines == 1 ? ". Its output began:\n    " : "\n    ") + Printable(line);
  });
  if (lines == 0 && !result.outputCut) return text + ". It wrote nothing.";
  // The lines beyond the kept output were never seen: no count is true.
  if (result.outputCut) return text + "\n    (and more)";
  if (lines > kShownLines) text += "\n    (and " + std::to_string(lines - kShownLines) + " more lines)";
  return text;
}

void KeepOutput(CommandResult& result, std::string_view written) {
  const size_t room = kKeptOutput - std::min(kKeptOutput, result.output.size());
  result.output.append(written.substr(0, room));
  if (written.size() > room) result.outputCut = true;
}
