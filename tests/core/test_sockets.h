#pragma once

// Sockets a test holds on loopback ports the system picks, on every platform.

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
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
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("no sockets");
  }
  ~Sockets() { WSACleanup(); }
#else
  Sockets() {}
#endif
};

class TestSocket {
 public:
  // Bound to the family's loopback address, on the port or one the system picks.
  TestSocket(int family, int type, int port = 0) : family_(family), socket_(::socket(family, type, 0)) {
    sockaddr_storage address = Loopback(port);
    if (socket_ == kNone || bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
      throw std::runtime_error("cannot bind a test socket");
  }
  TestSocket(const TestSocket&) = delete;
  TestSocket& operator=(const TestSocket&) = delete;
  ~TestSocket() { Close(); }

  void Listen() {
    if (listen(socket_, 4) != 0) throw std::runtime_error("cannot listen");
  }
  void ConnectTo(int port) {
    sockaddr_storage address = Loopback(port);
    if (connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
      throw std::runtime_error("cannot connect");
  }
  int port() const {
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size);
    return ntohs(family_ == AF_INET ? reinterpret_cast<sockaddr_in&>(address).sin_port
                                    : reinterpret_cast<sockaddr_in6&>(address).sin6_port);
  }
  void Close() {
    if (socket_ == kNone) return;
#ifdef _WIN32
    closesocket(socket_);
#else
    close(socket_);
#endif
    socket_ = kNone;
  }

 private:
#ifdef _WIN32
  using Descriptor = SOCKET;
  static constexpr SOCKET kNone = INVALID_SOCKET;
#else
  using Descriptor = int;
  static constexpr int kNone = -1;
#endif

  sockaddr_storage Loopback(int port) const {
    sockaddr_storage address{};
    if (family_ == AF_INET) {
      auto& v4 = reinterpret_cast<sockaddr_in&>(address);
      v4.sin_family = AF_INET;
      v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      v4.sin_port = htons(static_cast<unsigned short>(port));
    } else {
      auto& v6 = reinterpret_cast<sockaddr_in6&>(address);
      v6.sin6_family = AF_INET6;
      v6.sin6_addr = in6addr_loopback;
      v6.sin6_port = htons(static_cast<unsigned short>(port));
    }
    return address;
  }

  int family_;
  Descriptor socket_;
};
