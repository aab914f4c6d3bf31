#include "port_text.h"

namespace {

constexpr const char* kBlanks = " \t\r\n";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsAllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text)
    if (!IsDigit(c)) return false;
  return true;
}

// Consumes a run of digits at pos; returns how many there were.
size_t SkipDigits(std::string_view text, size_t& pos) {
  const size_t start = pos;
  while (pos < text.size() && IsDigit(text[pos])) ++pos;
  return pos - start;
}

std::string_view WithoutLeadingZeros(std::string_view digits) {
  const size_t first = digits.find_first_not_of('0');
  return first == std::string_view::npos ? digits.substr(digits.size() - 1) : digits.substr(first);
}

}  // namespace

std::string_view TrimBlanks(std::string_view text) {
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

bool IsNumber(std::string_view text) {
  text = TrimBlanks(text);
  size_t pos = 0;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
  size_t digits = SkipDigits(text, pos);
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    digits += SkipDigits(text, pos);
  }
  if (digits == 0) return false;
  if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
    ++pos;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
    if (SkipDigits(text, pos) == 0) return false;
  }
  return pos == text.size();
}

std::optional<int> IsListenablePort(std::string_view text) {
  text = TrimBlanks(text);
  if (!IsAllDigits(text)) return std::nullopt;
  const std::string_view digits = WithoutLeadingZeros(text);
  if (digits.size() > 5) return std::nullopt;
  int value = 0;
  for (char c : digits) value = value * 10 + (c - '0');
  if (value < 1 || value > 65535) return std::nullopt;
  return value;
}

std::string PortKey(std::string_view text) {
  text = TrimBlanks(text);
  return std::string(IsAllDigits(text) ? WithoutLeadingZeros(text) : text);
}
