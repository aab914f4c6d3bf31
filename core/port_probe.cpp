#include "port_probe.h"

#include <algorithm>
#include <charconv>
#include <utility>

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

// The highest port of TCP and UDP.
constexpr unsigned long kLastPort = 65535;

// Appends the piece as a port, a whole number in the given base; nothing when
// it is not one.
void AppendPort(std::string_view piece, int base, std::vector<int>& ports) {
  if (piece.empty()) return;
  unsigned long value = 0;
  const char* last = piece.data() + piece.size();
  const auto [end, error] = std::from_chars(piece.data(), last, value, base);
  if (error == std::errc() && end == last && value <= kLastPort) ports.push_back(static_cast<int>(value));
}

// The column at the index of a line of columns separated by runs of spaces;
// empty when the line has fewer.
std::string_view Column(std::string_view line, size_t index) {
  size_t start = line.find_first_not_of(' ');
  for (; index > 0 && start != std::string_view::npos; --index)
    start = line.find_first_not_of(' ', line.find(' ', start));
  if (start == std::string_view::npos) return {};
  return line.substr(start, line.find(' ', start) - start);
}

// Calls onSocket with the hex local port and the hex state of every socket
// line of one of the kernel's tables: the header line is skipped; the
// columns are "sl:", the local address as HEXADDR:HEXPORT, the remote
// address, the state, then many never looked at.
template <typename OnSocket>
void ForEachTableSocket(std::string_view table, OnSocket onSocket) {
  bool header = true;
  ForEachLine(table, [&](std::string_view line) {
    if (std::exchange(header, false)) return;
    const std::string_view address = Column(line, 1);
    const size_t colon = address.rfind(':');
    if (colon != std::string_view::npos) onSocket(address.substr(colon + 1), Column(line, 3));
  });
}

}  // namespace

bool IsPortListening(int port) {
  const std::vector<ListeningSocket> listeners = ListeningSockets();
  return std::any_of(listeners.begin(), listeners.end(),
                     [&](const ListeningSocket& socket) { return socket.port == port; });
}

std::vector<int> ParseNetstatLog(std::string_view log) {
  std::vector<int> ports;
  ForEachLine(log, [&](std::string_view line) {
    std::string_view fields[3];
    size_t count = 0;
    ForEachPiece(line, ':', [&](std::string_view field) {
      if (count < 3) fields[count] = field;
      ++count;
    });
    if (count != 3) return;
    AppendPort(fields[1].substr(0, fields[1].find(' ')), 10, ports);
  });
  return ports;
}

std::vector<int> ParseProcNetSockets(std::string_view table) {
  std::vector<int> ports;
  ForEachTableSocket(table, [&](std::string_view port, std::string_view) { AppendPort(port, 16, ports); });
  return ports;
}

std::vector<int> ParseProcNetListeners(std::string_view table) {
  std::vector<int> ports;
  ForEachTableSocket(table, [&](std::string_view port, std::string_view state) {
    if (state == "0A") AppendPort(port, 16, ports);
  });
  return ports;
}
