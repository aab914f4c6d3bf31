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
  const int port = input.ConsumeIntegral<uint16_t>();
  const std::string log = input.ConsumeRemainingBytesAsString();

  const std::vector<int> ports = ParseNetstatLog(log);
  std::vector<int> lineByLine;
  size_t lines = 0;
  ForEachLine(log, [&](std::string_view line) {
    ++lines;
    for (const int entry : ParseNetstatLog(line)) lineByLine.push_back(entry);
  });
  Check(ports == lineByLine, "each line is read on its own");
  Check(ports.size() <= lines, "at most one entry a line");
  for (const int entry : ports) Check(entry >= 0 && entry <= 65535, "entries are ports", std::to_string(entry));

  // Whatever came before, a well-formed line that follows is read.
  const std::string line = "  TCP    0.0.0.0:" + std::to_string(port) + "   0.0.0.0:0   LISTENING";
  const auto withKnown = ParseNetstatLog(log + "\r\n" + line + "\r\n");
  Check(!withKnown.empty() && withKnown.back() == port, "a following socket line is read", line);
  return 0;
}
