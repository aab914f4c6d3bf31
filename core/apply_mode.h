#pragma once

// Which program a controller serves: the setup page installs and starts the
// server, the port change program stops and starts it.
enum class ApplyMode { Setup, Change };
