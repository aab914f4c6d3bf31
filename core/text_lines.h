#pragma once

#include <string_view>

// Calls onLine for every line of the text. A line ends at CRLF, LF or a lone
// CR, so no line is ever merged with the next; a last line without an end
// still counts, and the end itself is not part of the line.
template <typename OnLine>
void ForEachLine(std::string_view text, OnLine onLine) {
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      onLine(text.substr(start));
      return;
    }
    onLine(text.substr(start, end - start));
    start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
}
