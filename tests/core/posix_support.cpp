#include "posix_support.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

#include "test_support.h"

Listener::Listener(int family, int type) : fd_(socket(family, type, 0)) {
  if (fd_ < 0) throw std::runtime_error("socket failed");
  sockaddr_storage address{};
  socklen_t length;
  if (family == AF_INET) {
    auto& v4 = reinterpret_cast<sockaddr_in&>(address);
    v4.sin_family = AF_INET;
    v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    length = sizeof v4;
  } else {
    auto& v6 = reinterpret_cast<sockaddr_in6&>(address);
    v6.sin6_family = AF_INET6;
    v6.sin6_addr = in6addr_loopback;
    length = sizeof v6;
  }
  auto* generic = reinterpret_cast<sockaddr*>(&address);
  if (bind(fd_, generic, length) != 0 || (type == SOCK_STREAM && listen(fd_, 1) != 0) ||
      getsockname(fd_, generic, &length) != 0) {
    close(fd_);
    throw std::runtime_error("cannot listen on loopback");
  }
  port_ = ntohs(family == AF_INET ? reinterpret_cast<sockaddr_in&>(address).sin_port
                                  : reinterpret_cast<sockaddr_in6&>(address).sin6_port);
}

Listener::~Listener() { close(fd_); }

void WriteExecutable(const std::string& path, std::string_view contents) {
  WriteFile(path, contents);
  std::filesystem::permissions(path, std::filesystem::perms(0755));
}
