// The Listen rewrite over arbitrary text: every line survives, only Listen
// lines change, and only in their port.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "listen_file.h"
#include "text_lines.h"

namespace {

constexpr size_t kPrefixSize = std::string_view("Listen ").size();

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  ForEachLine(text, [&](std::string_view line) { lines.push_back(line); });
  return lines;
}

// What the change request passes: a listenable port, leading zeros allowed.
std::string NewPortText(FuzzedDataProvider& input) {
  const auto zeros = input.ConsumeIntegralInRange<size_t>(0, 2);
  return std::string(zeros, '0') + std::to_string(input.ConsumeIntegralInRange<unsigned>(1, 65535));
}

void CheckListenLine(std::string_view before, std::string_view after, std::string_view newPort) {
  Check(IsListenLine(after), "a Listen line stays a Listen line", after);
  Check(ListenPortText(after) == newPort, "reads back as the new port", after);
  const std::string_view oldToken = ListenToken(before);
  const std::string_view newToken = ListenToken(after);
  Check(SplitListenToken(newToken).address == SplitListenToken(oldToken).address, "the address is kept", after);
  // An empty port token (two spaces after "Listen") leaves nothing to keep.
  const std::string_view rest = oldToken.empty() ? std::string_view() : before.substr(kPrefixSize + oldToken.size());
  Check(after.substr(kPrefixSize + newToken.size()) == rest, "the protocol and further words are kept", after);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string newPort = NewPortText(input);
  const std::string_view lineEnd = input.ConsumeBool() ? "\r\n" : "\n";
  const std::string text = input.ConsumeRemainingBytesAsString();

  const std::string result = RewriteListenText(text, newPort, lineEnd);
  const auto before = Lines(text);
  const auto after = Lines(result);
  Check(before.size() == after.size(), "no line lost or merged", result);

  std::string rejoined;
  for (size_t i = 0; i < before.size(); ++i) {
    if (IsListenLine(before[i]))
      CheckListenLine(before[i], after[i], newPort);
    else
      Check(before[i] == after[i], "every other line is byte-identical", after[i]);
    rejoined.append(after[i]).append(lineEnd);
  }
  Check(rejoined == result, "every line ends with the line end, and nothing else is added", result);
  Check(RewriteListenText(result, newPort, lineEnd) == result, "rewriting again changes nothing", result);
  return 0;
}
