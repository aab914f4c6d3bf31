#pragma once

#include <string>

// Where the server's configuration file and program live. The programs always
// use the installed tree; tests hand a controller a private one.
struct ServerTree {
  std::string configFile;
  std::string serverProgram;
};

// The tree the programs were built for (fixed at build time).
ServerTree InstalledServerTree();
