#include "port_probe.h"

#include <charconv>

#include "text_lines.h"

namespace {

// Cuts text at every separator; separators side by side give empty pieces.
template <typename OnPiece>
void ForEachPiece(std::string_view text, char separator, OnPiece onPiece) {
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(separator, start);
    onPiece(text.substr(start, end - start));
    if (end == std::string_view::npos) return;
    start = end + 1;
  }
}

// A whole number in the given base, written back as plain decimal text;
// nothing when the piece is not a whole number.
void AppendAsDecimal(std::string_view piece, int base, std::vector<std::string>& out) {
  if (piece.empty()) return;
  unsigned long value = 0;
  const char* last = piece.data() + piece.size();
  const auto [end, error] = std::from_chars(piece.data(), last, value, base);
  if (error == std::errc() && end == last) out.push_back(std::to_string(value));
}

}  // namespace

std::vector<std::string> ParseNetstatLog(std::string_view log) {
  std::vector<std::string> ports;
  ForEachLine(log, [&](std::string_view line) {
    std::string_view fields[3];
    size_t count = 0;
    ForEachPiece(line, ':', [&](std::string_view field) {
      if (count < 3) fields[count] = field;
      ++count;
    });
    if (count != 3) return;
    AppendAsDecimal(fields[1].substr(0, fields[1].find(' ')), 10, ports);
  });
  return ports;
}

std::vector<std::string> ParseProcNetSockets(std::string_view table) {
  std::vector<std::string> ports;
  bool header = true;
  ForEachLine(table, [&](std::string_view line) {
    if (header) {
      header = false;
      return;
    }
    // Columns, separated by runs of spaces: "sl:", then the local address
    // as HEXADDR:HEXPORT. The many columns after it are never looked at.
    const size_t slot = line.find_first_not_of(' ');
    const size_t local = line.find_first_not_of(' ', line.find(' ', slot));
    if (local == std::string_view::npos) return;
    const std::string_view address = line.substr(local, line.find(' ', local) - local);
    const size_t colon = address.rfind(':');
    if (colon == std::string_view::npos) return;
    AppendAsDecimal(address.substr(colon + 1), 16, ports);
  });
  return ports;
}
