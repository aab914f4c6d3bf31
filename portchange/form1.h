#pragma once

// The port change window: the port box, "Change", "Exit" and the used ports,
// driving a PortController in change mode. Tests build one on a private
// server tree and start it with gui::StartProgram.

#include "port_window.h"
#include "server_tree.h"

namespace portchange {

class Form1 : public gui::PortWindow {
 public:
  explicit Form1(ServerTree tree = InstalledServerTree());
};

}  // namespace portchange
