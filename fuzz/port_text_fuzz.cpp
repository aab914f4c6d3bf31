// The number and range tests of a change request, against the C library's
// reading of the same text.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "fuzz_check.h"
#include "port_text.h"

namespace {

// strtod accepts hexadecimal, infinity and NaN, and other leading white
// space; over these characters alone its grammar is the number test's.
bool StrtodWouldCompare(std::string_view text) {
  return text.find_first_not_of("0123456789+-.eE \t\r\n") == std::string_view::npos;
}

bool StrtodReadsAll(std::string_view text) {
  const std::string trimmed(TrimBlanks(text));
  if (trimmed.empty()) return false;
  char* end = nullptr;
  std::strtod(trimmed.c_str(), &end);
  return end == trimmed.c_str() + trimmed.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const bool number = IsNumber(text);
  const std::optional<int> listenable = IsListenablePort(text);
  const std::string key = PortKey(text);

  if (StrtodWouldCompare(text)) Check(number == StrtodReadsAll(text), "IsNumber agrees with strtod", text);
  Check(!listenable || number, "a listenable port is a number", text);
  Check(key == PortKey(key), "PortKey is idempotent", text);
  Check(key == TrimBlanks(key), "PortKey has no surrounding blanks", key);
  Check(listenable == IsListenablePort(key), "PortKey keeps the range test's answer", text);
  Check(IsNumber(" \t\r\n" + std::string(text) + "\r\n\t ") == number, "blanks around a number do not matter", text);
  if (listenable) {
    Check(IsCanonicalDecimal(key) && key.size() <= 5, "a listenable port's key is plain decimal", key);
    const long value = std::strtol(key.c_str(), nullptr, 10);
    Check(value >= 1 && value <= 65535, "a listenable port lies in 1..65535", key);
    Check(value == *listenable, "the port given is the one written", key);
  }
  return 0;
}
