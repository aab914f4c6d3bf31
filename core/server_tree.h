#pragma once

// The installed tree is compiled in: server_tree_posix.cpp (from the CMake
// cache variable PORTCFG_APACHE_ROOT) or server_tree_win32.cpp.

#include <string>

// Where the server's configuration file and program live. The programs always
// use the installed tree; tests hand a controller a private one.
struct ServerTree {
  std::string configFile;
  std::string serverProgram;
};

// The tree the programs were built for (fixed at build time).
ServerTree InstalledServerTree();
