#pragma once

#include <sys/socket.h>

#include <string>
#include <string_view>

// A socket on a free loopback port of the given family: listening for TCP, or
// with SOCK_DGRAM a bound UDP socket.
class Listener {
 public:
  explicit Listener(int family, int type = SOCK_STREAM);
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;
  ~Listener();
  int port() const { return port_; }

 private:
  int fd_;
  int port_;
};

void WriteExecutable(const std::string& path, std::string_view contents);
