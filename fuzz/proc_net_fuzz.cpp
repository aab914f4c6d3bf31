// The reader of the kernel's socket tables over arbitrary tables.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "port_probe.h"
#include "text_lines.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const unsigned port = input.ConsumeIntegral<uint16_t>();
  const std::string table = input.ConsumeRemainingBytesAsString();

  const std::vector<int> ports = ParseProcNetSockets(table);
  std::vector<int> lineByLine;
  size_t lines = 0;
  ForEachLine(table, [&](std::string_view line) {
    if (lines++ == 0) return;
    for (const int entry : ParseProcNetSockets("header\n" + std::string(line))) lineByLine.push_back(entry);
  });
  Check(ports == lineByLine, "the first line is the header, every other line is read on its own");
  Check(ports.size() + (lines > 0 ? 1 : 0) <= lines, "at most one entry a socket line");
  for (const int entry : ports) Check(entry >= 0 && entry <= 65535, "entries are ports", std::to_string(entry));

  char socketLine[96];
  std::snprintf(socketLine, sizeof socketLine, "\n  12: 0100007F:%04X 00000000:0000 0A 00000000:00000000 00:00000000\n",
                port);
  const auto withKnown = ParseProcNetSockets(table + socketLine);
  Check(!withKnown.empty() && withKnown.back() == static_cast<int>(port), "a following socket line is read",
        socketLine);
  return 0;
}
