#include "port_checks.h"

#include <algorithm>

#include "port_text.h"

namespace {

// The number of a text that IsListenablePort accepts.
int PortNumber(std::string_view text) { return std::stoi(PortKey(text)); }

}  // namespace

std::optional<std::string> RefusalFor(ApplyMode mode, std::string_view portText,
                                      const std::optional<std::string>& configuredPort,
                                      const std::vector<int>& usedPorts) {
  if (!IsNumber(portText)) return "Must be number.";
  // Only a port the server accepts may be written; anything else would leave
  // it unable to start.
  if (!IsListenablePort(portText)) return "Must be 0~65536";
  const int port = PortNumber(portText);
  if (mode == ApplyMode::Change && configuredPort && IsListenablePort(*configuredPort) &&
      PortNumber(*configuredPort) == port)
    return "Not change.";
  if (std::find(usedPorts.begin(), usedPorts.end(), port) != usedPorts.end()) return "Can't use.";
  return std::nullopt;
}
