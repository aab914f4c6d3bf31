#pragma once

// Sockets a test holds on loopback ports, on every platform.

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
constexpr int kNoInheritance = 0;
#else
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
using SOCKET = int;
inline int closesocket(SOCKET socket) { return close(socket); }
// A server a test starts must not keep the test's sockets.
constexpr int kNoInheritance = SOCK_CLOEXEC;
#endif

#include <stdexcept>
#include <string>

// The socket library is ready while it lives (Windows needs that said).
struct Sockets {
#ifdef _WIN32
  Sockets() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
  ~Sockets() { WSACleanup(); }
#endif
};

class TestSocket {
 public:
  // On the family's loopback address; port 0: one the system picks.
  TestSocket(int family, int type, int port = 0) : socket_(::socket(family, type | kNoInheritance, 0)) {
    Check(bind(socket_, Loopback(family, port), sizeof(sockaddr_in6)), "bind");
  }
  TestSocket(const TestSocket&) = delete;
  TestSocket& operator=(const TestSocket&) = delete;
  ~TestSocket() { closesocket(socket_); }

  TestSocket& Listen() { return Check(listen(socket_, 4), "listen"); }
  TestSocket& ConnectTo(int port) {
    return Check(connect(socket_, Loopback(family_, port), sizeof(sockaddr_in6)), "connect");
  }
  TestSocket& Send(const std::string& text) {
    return Check(send(socket_, text.data(), int(text.size()), 0) - int(text.size()), "send");
  }
  // All it receives until the other end closes.
  std::string Receive() {
    std::string received;
    char buffer[4096];
    for (int got; (got = int(recv(socket_, buffer, sizeof buffer, 0))) > 0;) received.append(buffer, size_t(got));
    return received;
  }
  int port() const {
    sockaddr_in6 address{};
    socklen_t size = sizeof address;
    getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size);
    return ntohs(address.sin6_port);  // where either family keeps it
  }

 private:
  TestSocket& Check(int result, const char* what) {
    if (result != 0) throw std::runtime_error(std::string("cannot ") + what);
    return *this;
  }
  // The family's loopback address and the port, in room for either family.
  sockaddr* Loopback(int family, int port) {
    family_ = family;
    address_ = {};
    address_.sin6_family = static_cast<decltype(address_.sin6_family)>(family);
    address_.sin6_port = htons(static_cast<unsigned short>(port));
    if (family == AF_INET6) address_.sin6_addr = in6addr_loopback;
    if (family == AF_INET) reinterpret_cast<sockaddr_in*>(&address_)->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return reinterpret_cast<sockaddr*>(&address_);
  }

  SOCKET socket_;
  int family_ = AF_INET;
  sockaddr_in6 address_;
};
