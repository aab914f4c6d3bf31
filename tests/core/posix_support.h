#pragma once

#include <string>
#include <string_view>

// A TCP socket listening on a free loopback port of the given family.
class Listener {
 public:
  explicit Listener(int family);
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;
  ~Listener();
  int port() const { return port_; }

 private:
  int fd_;
  int port_;
};

void WriteExecutable(const std::string& path, std::string_view contents);
