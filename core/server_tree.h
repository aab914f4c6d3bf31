#pragma once

// The installed tree is compiled in: server_tree_posix.cpp (from the CMake
// cache variable PORTCFG_APACHE_ROOT) or server_tree_win32.cpp.

#include <chrono>
#include <string>

#include "hidden_command.h"

// Where the server's configuration file and program live, how long the
// server is given to let go of its old port or take the new one, and how
// long any command may run. The programs always use the installed tree;
// tests hand a controller a private one.
struct ServerTree {
  std::string configFile;
  std::string serverProgram;
  std::chrono::milliseconds portWait = std::chrono::seconds(30);
  std::chrono::milliseconds commandLimit = kCommandLimit;
};

// The tree the programs were built for (fixed at build time).
ServerTree InstalledServerTree();
