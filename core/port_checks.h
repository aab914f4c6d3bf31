#pragma once

// What a change request refuses, before anything is written or run.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "apply_mode.h"

// The refusal message for the port text, or none when the port may be
// applied; of several, the first of: not a number, not a port the server can
// listen on, in the port change program the configured port, a used port.
// Ports are compared as the server reads them (" 080" is 80).
std::optional<std::string> RefusalFor(ApplyMode mode, std::string_view portText,
                                      const std::optional<std::string>& configuredPort,
                                      const std::vector<int>& usedPorts);
