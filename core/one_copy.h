#pragma once

// One copy at a time of either program acts on a server: a second would
// change httpd.conf and run the server's commands under the first, and on
// Windows share the probe's two files in C:\. one_copy_posix.cpp or
// one_copy_win32.cpp.

#include <memory>

#include "server_tree.h"

// The server's guard, held while it lives unless another copy holds it.
class OneCopy {
 public:
  // Taken before the program touches anything. A guard that cannot be had
  // for another reason guards nothing: the program's own steps report what
  // is wrong with the tree.
  explicit OneCopy(const ServerTree& tree);
  OneCopy(const OneCopy&) = delete;
  OneCopy& operator=(const OneCopy&) = delete;
  ~OneCopy();

  // False when another copy holds the guard: this one must touch nothing.
  bool first() const { return first_; }

 private:
  struct Guard;
  std::unique_ptr<Guard> guard_;
  bool first_ = true;
};
