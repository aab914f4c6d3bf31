#include "port_checks.h"

#include <algorithm>

#include "port_text.h"

std::optional<std::string> RefusalFor(ApplyMode mode, std::string_view portText,
                                      const std::optional<std::string>& configuredPort,
                                      const std::vector<int>& usedPorts) {
  if (!IsNumber(portText)) return "Must be number.";
  // Only a port the server accepts may be written; anything else would leave
  // it unable to start.
  const std::optional<int> port = IsListenablePort(portText);
  if (!port) return "Must be 0~65536";
  if (mode == ApplyMode::Change && configuredPort && IsListenablePort(*configuredPort) == port) return "Not change.";
  if (std::find(usedPorts.begin(), usedPorts.end(), *port) != usedPorts.end()) return "Can't use.";
  return std::nullopt;
}
