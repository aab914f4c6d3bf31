#pragma once

// Sockets a test holds on loopback ports, on every platform.

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <stdexcept>

// The socket library is ready while it lives (Windows needs that said).
struct Sockets {
#ifdef _WIN32
  Sockets() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
  ~Sockets() { WSACleanup(); }
#else
  Sockets() {}
#endif
};

class TestSocket {
 public:
  // Bound to the family's loopback address, on the port or one the system picks.
  TestSocket(int family, int type, int port = 0) : socket_(::socket(family, type, 0)) {
    if (bind(socket_, Loopback(family, port), sizeof address_) != 0) throw std::runtime_error("cannot bind");
  }
  TestSocket(const TestSocket&) = delete;
  TestSocket& operator=(const TestSocket&) = delete;
  ~TestSocket() {
#ifdef _WIN32
    closesocket(socket_);
#else
    close(socket_);
#endif
  }

  void Listen() {
    if (listen(socket_, 4) != 0) throw std::runtime_error("cannot listen");
  }
  void ConnectTo(int port) {
    sockaddr_in6 address;
    if (connect(socket_, Loopback(address_.sin6_family, port, &address), sizeof address) != 0)
      throw std::runtime_error("cannot connect");
  }
  int port() const {
    sockaddr_in6 address{};
    socklen_t size = sizeof address;
    getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size);
    // Both families keep the port at the same place.
    return ntohs(address.sin6_port);
  }

 private:
  // The loopback address on the port, in room for either family.
  sockaddr* Loopback(int family, int port, sockaddr_in6* address = nullptr) {
    if (!address) address = &address_;
    *address = {};
    address->sin6_family = static_cast<decltype(address->sin6_family)>(family);
    address->sin6_port = htons(static_cast<unsigned short>(port));
    if (family == AF_INET6) address->sin6_addr = in6addr_loopback;
    if (family == AF_INET) reinterpret_cast<sockaddr_in*>(address)->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return reinterpret_cast<sockaddr*>(address);
  }

#ifdef _WIN32
  SOCKET socket_;
#else
  int socket_;
#endif
  sockaddr_in6 address_;
};
