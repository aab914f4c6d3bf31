// The netstat log parser over arbitrary logs.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "port_probe.h"
#include "text_lines.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string port = std::to_string(input.ConsumeIntegral<uint16_t>());
  const std::string log = input.ConsumeRemainingBytesAsString();

  const std::vector<std::string> ports = ParseNetstatLog(log);
  std::vector<std::string> lineByLine;
  size_t lines = 0;
  ForEachLine(log, [&](std::string_view line) {
    ++lines;
    for (const std::string& entry : ParseNetstatLog(line)) lineByLine.push_back(entry);
  });
  Check(ports == lineByLine, "each line is read on its own");
  Check(ports.size() <= lines, "at most one entry a line");
  for (const std::string& entry : ports) Check(IsCanonicalDecimal(entry), "entries are plain decimal", entry);

  // Whatever came before, a well-formed line that follows is read.
  const auto withKnown = ParseNetstatLog(log + "\r\n  TCP    0.0.0.0:" + port + "   0.0.0.0:0   LISTENING\r\n");
  Check(!withKnown.empty() && withKnown.back() == port, "a following socket line is read", port);
  return 0;
}
