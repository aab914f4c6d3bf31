#pragma once

#include <algorithm>
#include <string_view>

// Calls onLine for every line of the text. A line ends at CRLF, LF or a lone
// CR, so no line is ever merged with the next; a last line without an end
// still counts, and the end itself is not part of the line.
template <typename OnLine>
void ForEachLine(std::string_view text, OnLine onLine) {
  // Two searches for single characters: find_first_of("\r\n") looks each
  // byte up in the set, several times slower on a large file. The next LF is
  // kept, so a file of lone CRs is not searched to its end for every line.
  size_t start = 0;
  size_t nextLineFeed = text.find('\n');
  while (start < text.size()) {
    if (nextLineFeed < start) nextLineFeed = text.find('\n', start);
    const size_t lineFeed = std::min(nextLineFeed, text.size());
    const size_t end = std::min(text.substr(0, lineFeed).find('\r', start), lineFeed);
    onLine(text.substr(start, end - start));
    if (end == text.size()) return;
    start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
}
