#pragma once

// The setup page: a borderless window with a banner, the port box, the used
// ports and "Next", driving a PortController in setup mode. Tests build one
// on a private server tree and start it with gui::StartProgram.

#include "port_window.h"
#include "server_tree.h"

namespace portsetup {

class Form1 : public gui::PortWindow {
 public:
  explicit Form1(ServerTree tree = InstalledServerTree());
};

}  // namespace portsetup
