#include "private_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <random>
#include <stdexcept>

#include "test_support.h"

extern char** environ;

namespace {

std::string Describe(const std::vector<std::string>& argv) {
  std::string line;
  for (const std::string& argument : argv) line += (line.empty() ? "'" : " '") + argument + "'";
  return line;
}

void RunChecked(const std::vector<std::string>& argv) {
  const int status = Run(argv);
  if (status != 0) throw std::runtime_error(Describe(argv) + " exited with " + std::to_string(status));
}

class Socket {
 public:
  Socket() : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    if (fd_ < 0) throw std::runtime_error("socket failed");
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  ~Socket() { close(fd_); }
  int get() const { return fd_; }

 private:
  int fd_;
};

sockaddr_in Address(const std::string& address, int port) {
  sockaddr_in result{};
  result.sin_family = AF_INET;
  result.sin_port = htons(static_cast<uint16_t>(port));
  if (inet_pton(AF_INET, address.c_str(), &result.sin_addr) != 1)
    throw std::invalid_argument("not an IPv4 address: " + address);
  return result;
}

// 0 when connected, otherwise the reason.
int Connect(const Socket& socket, const std::string& address, int port) {
  const sockaddr_in to = Address(address, port);
  return connect(socket.get(), reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 ? 0 : errno;
}

}  // namespace

PrivateServer::PrivateServer(const std::string& listen) {
  const std::string number = std::to_string(std::random_device()());
  // A space in the path, as in the server's home folder on Windows.
  folder_ = std::string(PORTCFG_E2E_TREES) + "/tree " + number;
  root_ = folder_ + "/Apache2";
  page_ = "<html><body>private server " + number + "</body></html>\n";
  RunChecked({PORTCFG_SOURCE_DIR "/script/apache-tree", "create", root_, listen});
  WriteFile(root_ + "/htdocs/index.html", page_);
}

PrivateServer::~PrivateServer() {
  try {
    Run({tree().serverProgram, "-k", "stop"});
  } catch (const std::exception& error) {
    // The leftover-server clean-up after the tests stops it instead.
    std::cerr << error.what() << '\n';
  }
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

void PrivateServer::Start() { RunChecked({tree().serverProgram, "-k", "start"}); }

ServerTree PrivateServer::tree() const { return {configFile(), root_ + "/bin/httpd"}; }

std::string PrivateServer::configFile() const { return root_ + "/conf/httpd.conf"; }

bool PrivateServer::Installed() const { return std::filesystem::exists(root_ + "/logs/service-installed"); }

int Run(const std::vector<std::string>& argv) {
  std::vector<char*> pointers;
  for (const std::string& argument : argv) pointers.push_back(const_cast<char*>(argument.c_str()));
  pointers.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  pid_t pid;
  const int error = posix_spawn(&pid, pointers[0], &actions, nullptr, pointers.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) throw std::runtime_error("cannot start " + Describe(argv));
  int status;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) throw std::runtime_error("cannot wait for " + Describe(argv));
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int FreePort() {
  Socket socket;
  sockaddr_in address = Address("127.0.0.1", 0);
  socklen_t length = sizeof address;
  auto* generic = reinterpret_cast<sockaddr*>(&address);
  if (bind(socket.get(), generic, length) != 0 || getsockname(socket.get(), generic, &length) != 0)
    throw std::runtime_error("cannot bind a loopback port");
  return ntohs(address.sin_port);
}

HttpReply HttpGet(const std::string& address, int port) {
  Socket socket;
  if (const int error = Connect(socket, address, port))
    return {0, "cannot connect to " + address + ":" + std::to_string(port) + ": " + std::strerror(error)};
  const std::string request = "GET / HTTP/1.0\r\nHost: " + address + "\r\n\r\n";
  if (send(socket.get(), request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size()))
    throw std::runtime_error("cannot send the request");
  std::string reply;
  char buffer[4096];
  for (ssize_t got; (got = recv(socket.get(), buffer, sizeof buffer, 0)) != 0;) {
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw std::runtime_error("cannot read the reply");
    reply.append(buffer, static_cast<size_t>(got));
  }
  // "HTTP/1.1 200 OK", headers, an empty line, the body.
  const size_t bodyStart = reply.find("\r\n\r\n");
  if (reply.compare(0, 5, "HTTP/") != 0 || bodyStart == std::string::npos)
    throw std::runtime_error("not an HTTP reply: " + reply);
  return {std::stoi(reply.substr(reply.find(' ') + 1, 3)), reply.substr(bodyStart + 4)};
}

bool Refuses(const std::string& address, int port) {
  Socket socket;
  return Connect(socket, address, port) == ECONNREFUSED;
}
