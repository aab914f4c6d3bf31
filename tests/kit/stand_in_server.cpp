// Stands in for the server program in tests, on every platform, acting as
// upstream httpd does on Unix. Its tree is the one it lies in: the
// configuration is ../conf/httpd.conf from its folder, the running server's
// pid is in ../logs/httpd.pid. Each run appends one line to "<its own
// path>.log": every argument as the C runtime parsed it, in angle brackets.
//
//   -t          reads the configuration: "Syntax OK", or for the first line
//               whose directive is Bogus, which no module defines, the
//               server's syntax error and exit code 1. Every -k command but
//               install reads it first and fails the same way.
//   -k start    "httpd (pid N) already running" while the server lives;
//               otherwise starts a server that listens on every Listen line
//               (no address: every address, as [::] taking IPv4 too) and
//               returns at once. A port it cannot listen on fails the start
//               with the reason first ("(98)Address already in use: AH00072:
//               make_sock: could not bind to address [::]:8080"), then more
//               lines than a pipe holds, each longer than 160 characters, and
//               exit code 1. The server lets go of its input and output, as a
//               daemon does.
//   -k stop     tells the server to stop and returns at once; the server lets
//               go of its ports and exits, removing its pid file.
//   -k install  exit code 0.
// Any other arguments are only recorded. A server also exits once its pid
// file is gone, so a test that removes its tree leaves no server behind.
//
// Told through its environment:
//   STAND_IN_SLEEP_MS=N          each run first sleeps that long, so a caller
//                                that does not wait finds no record yet;
//   STAND_IN_STOP_MS=N           a server told to stop lingers that long,
//                                still listening;
//   STAND_IN_KEEP_OUTPUT=1       the server keeps the output it inherited, as a
//                                child does that holds its caller's pipe;
//   STAND_IN_START_FAILS_LATE=1  "-k start" starts the server, then ends with
//                                exit code 1;
//   STAND_IN_INSTALL_FAILS=1     "-k install" is a usage error (exit code 1),
//                                as upstream's is on Unix.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
//
#include <windows.h>
#else
#include <fcntl.h>
#include <netdb.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

void Pause(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

struct Tree {
  explicit Tree(const std::string& self)
      : self(self), config(Beside(self, "../conf/httpd.conf")), pidFile(Beside(self, "../logs/httpd.pid")) {}
  static std::string Beside(const std::string& self, const char* path) {
    return (std::filesystem::path(self).parent_path() / path).lexically_normal().string();
  }
  std::string self, config, pidFile;
};

long ReadPid(const std::string& pidFile) {
  long pid = 0;
  std::ifstream(pidFile) >> pid;
  return pid;
}

// The address of one Listen line; an empty host is every address.
struct Address {
  std::string host, port;
};

// Apache's reading of "[address:]port"; "080" is port 80.
Address ReadAddress(const std::string& text) {
  const size_t colon = text.rfind(':');
  Address address;
  address.port = text.substr(colon == std::string::npos ? 0 : colon + 1);
  address.port.erase(0, std::min(address.port.find_first_not_of('0'), address.port.size() - 1));
  address.host = colon == std::string::npos ? "" : text.substr(0, colon);
  if (address.host.size() > 1 && address.host.front() == '[') address.host = address.host.substr(1, colon - 2);
  return address;
}

// The Listen addresses, as the server reads its configuration; none, with
// the server's error printed, when it cannot take a line.
std::optional<std::vector<Address>> ReadConfig(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "httpd: Could not open configuration file %s: No such file or directory\n", path.c_str());
    return std::nullopt;
  }
  std::vector<Address> listens;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    std::istringstream words(line);
    std::string directive, name, address;
    words >> directive >> address;
    for (const char c : directive) name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name == "listen") listens.push_back(ReadAddress(address));
    if (name != "bogus") continue;
    std::fprintf(stderr,
                 "AH00526: Syntax error on line %d of %s:\nInvalid command '%s', perhaps misspelled or defined by a "
                 "module not included in the server configuration\n",
                 number, path.c_str(), directive.c_str());
    return std::nullopt;
  }
  return listens;
}

#ifdef _WIN32

using Socket = SOCKET;
constexpr Socket kNoSocket = INVALID_SOCKET;
void CloseSocket(Socket socket) { closesocket(socket); }

void UseSockets() {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
}

// In upstream's Unix words where a test meets the reason.
std::string SocketError() {
  const int error = WSAGetLastError();
  if (error == WSAEADDRINUSE) return "(98)Address already in use";
  if (error == WSAEACCES) return "(13)Permission denied";
  return "(OS " + std::to_string(error) + ")";
}

long OwnPid() { return static_cast<long>(GetCurrentProcessId()); }

std::string StopEventName(long pid) { return "stand-in-stop-" + std::to_string(pid); }

bool Alive(long pid) {
  const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (!process) return false;
  const bool alive = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return alive;
}

void TellToStop(long pid) {
  if (const HANDLE stop = OpenEventA(EVENT_MODIFY_STATE, FALSE, StopEventName(pid).c_str())) {
    SetEvent(stop);
    CloseHandle(stop);
  }
}

// What the server waits on: an event named after it.
class StopSignal {
 public:
  StopSignal() : event_(CreateEventA(nullptr, TRUE, FALSE, StopEventName(OwnPid()).c_str())) {}
  StopSignal(const StopSignal&) = delete;
  StopSignal& operator=(const StopSignal&) = delete;
  ~StopSignal() { CloseHandle(event_); }
  // True once told to stop; false after that long.
  bool Wait(int milliseconds) const { return WaitForSingleObject(event_, milliseconds) == WAIT_OBJECT_0; }

 private:
  HANDLE event_;
};

void LetGoOfOutput() {
  for (const DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
    const HANDLE handle = GetStdHandle(which);
    SetStdHandle(which, nullptr);
    // Output and error output may be one handle: its second close fails.
    if (handle) CloseHandle(handle);
  }
}

// Windows has no fork: the server is this program again, started with
// "--serve", reading the configuration again, with this one's input and
// output to report on.
class ServerProcess {
 public:
  ServerProcess(const Tree& tree, const std::vector<Address>&) {
    std::string line = "\"" + tree.self + "\" --serve";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION started{};
    if (!CreateProcessA(tree.self.c_str(), line.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr, nullptr,
                        &startup, &started))
      return;
    CloseHandle(started.hThread);
    process_ = started.hProcess;
    pid = static_cast<long>(started.dwProcessId);
  }
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;
  ~ServerProcess() {
    if (process_) CloseHandle(process_);
  }
  // Its exit code, once it has ended.
  std::optional<int> Ended() const {
    DWORD code = 1;
    if (process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) return std::nullopt;
    if (process_) GetExitCodeProcess(process_, &code);
    return static_cast<int>(code);
  }

  long pid = 0;

 private:
  HANDLE process_ = nullptr;
};

#else

using Socket = int;
constexpr Socket kNoSocket = -1;
void CloseSocket(Socket socket) { close(socket); }
void UseSockets() {}
std::string SocketError() { return "(" + std::to_string(errno) + ")" + std::strerror(errno); }
long OwnPid() { return static_cast<long>(getpid()); }
bool Alive(long pid) { return kill(static_cast<pid_t>(pid), 0) == 0; }
void TellToStop(long pid) { kill(static_cast<pid_t>(pid), SIGTERM); }

// What the server waits on: SIGTERM, taken only by waiting for it.
class StopSignal {
 public:
  StopSignal() {
    sigemptyset(&term_);
    sigaddset(&term_, SIGTERM);
    sigprocmask(SIG_BLOCK, &term_, nullptr);
  }
  // True once told to stop; false after that long.
  bool Wait(int milliseconds) const {
    const timespec tick{0, milliseconds * 1000000L};
    return sigtimedwait(&term_, nullptr, &tick) == SIGTERM;
  }

 private:
  sigset_t term_;
};

void LetGoOfOutput() {
  const int nothing = open("/dev/null", O_RDWR);
  for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) dup2(nothing, fd);
  close(nothing);
}

int Serve(const Tree& tree, const std::vector<Address>& listens);

// The server is a fork of this process.
class ServerProcess {
 public:
  ServerProcess(const Tree& tree, const std::vector<Address>& listens) {
    std::fflush(nullptr);
    pid = fork();
    if (pid == 0) {
      const int code = Serve(tree, listens);
      std::fflush(nullptr);
      _exit(code);
    }
  }
  // Its exit code, once it has ended.
  std::optional<int> Ended() const {
    int status = 0;
    if (pid > 0 && waitpid(static_cast<pid_t>(pid), &status, WNOHANG) == 0) return std::nullopt;
    return pid > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : 1;
  }

  long pid = 0;
};

#endif

class Listener {
 public:
  explicit Listener(Socket socket) : socket_(socket) {}
  Listener(Listener&& other) noexcept : socket_(other.socket_) { other.socket_ = kNoSocket; }
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;
  ~Listener() {
    if (socket_ != kNoSocket) CloseSocket(socket_);
  }
  Socket get() const { return socket_; }

 private:
  Socket socket_;
};

// Listens on the address as the server does, every address through IPv6's
// wildcard taking IPv4 too (IPv4's where there is no IPv6); or says why not.
std::optional<Listener> Listen(const Address& address, std::string& reason) {
  addrinfo hints{};
  hints.ai_flags = AI_PASSIVE | AI_NUMERICHOST | AI_NUMERICSERV;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const std::string host = address.host.empty() ? "::" : address.host;
  const std::string shown = host.find(':') == std::string::npos ? host : "[" + host + "]";
  reason = "(22)Invalid argument";
  if (getaddrinfo(host.c_str(), address.port.c_str(), &hints, &found) != 0) return std::nullopt;
  Listener listener(socket(found->ai_family, SOCK_STREAM, IPPROTO_TCP));
  const int no = 0;
  if (listener.get() != kNoSocket && found->ai_family == AF_INET6)
    setsockopt(listener.get(), IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&no), sizeof no);
#ifndef _WIN32
  // As the server: a port it left with connections closing is its again.
  const int yes = 1;
  setsockopt(listener.get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
#endif
  const bool listening = listener.get() != kNoSocket && bind(listener.get(), found->ai_addr, found->ai_addrlen) == 0 &&
                         listen(listener.get(), 511) == 0;
  reason = SocketError() + ": AH00072: make_sock: could not bind to address " + shown + ":" + address.port;
  freeaddrinfo(found);
  if (listening) return listener;
  if (listener.get() == kNoSocket && address.host.empty()) return Listen({"0.0.0.0", address.port}, reason);
  return std::nullopt;
}

// The server: listens on every address, or reports why it cannot as the
// server does, the reason first; then lives until told to stop.
int Serve(const Tree& tree, const std::vector<Address>& listens) {
  UseSockets();
  const StopSignal stop;
  std::vector<Listener> listeners;
  std::string reason;
  for (const Address& address : listens) {
    std::optional<Listener> listener = Listen(address, reason);
    if (!listener) break;
    listeners.push_back(std::move(*listener));
  }
  if (listeners.empty() || listeners.size() < listens.size()) {
    if (listeners.size() < listens.size()) std::fprintf(stderr, "%s\n", reason.c_str());
    std::fputs("no listening sockets available, shutting down\nAH00015: Unable to open logs\n", stderr);
    // More than a pipe holds, in lines longer than a box shows.
    for (int line = 1; line <= 2000; ++line)
      std::fprintf(stderr, "stand-in: shutting down, line %d of 2000 %s\n", line, std::string(150, '.').c_str());
    return 1;
  }
  if (Env("STAND_IN_KEEP_OUTPUT").empty()) LetGoOfOutput();
  std::filesystem::create_directories(std::filesystem::path(tree.pidFile).parent_path());
  std::ofstream(tree.pidFile) << OwnPid() << "\n";
  while (!stop.Wait(20))
    if (ReadPid(tree.pidFile) != OwnPid()) return 0;
  Pause(std::atoi(Env("STAND_IN_STOP_MS").c_str()));
  listeners.clear();
  std::error_code ignored;
  std::filesystem::remove(tree.pidFile, ignored);
  return 0;
}

int Start(const Tree& tree, const std::vector<Address>& listens) {
  if (const long running = ReadPid(tree.pidFile); running && Alive(running)) {
    std::printf("httpd (pid %ld) already running\n", running);
    return 0;
  }
  const ServerProcess server(tree, listens);
  // Until the server listens, or has ended.
  while (ReadPid(tree.pidFile) != server.pid || !server.pid) {
    if (const std::optional<int> code = server.Ended()) return *code;
    Pause(1);
  }
  if (Env("STAND_IN_START_FAILS_LATE").empty()) return 0;
  std::fputs("AH00016: Configuration Failed\n", stderr);
  return 1;
}

int Stop(const Tree& tree) {
  const long pid = ReadPid(tree.pidFile);
  if (!pid) {
    std::printf("httpd (no pid file) not running\n");
  } else if (!Alive(pid)) {
    std::printf("httpd (pid %ld?) not running\n", pid);
  } else {
    TellToStop(pid);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  // argv[0] is whatever the command line said, which may lack ".exe".
  const Tree tree(_pgmptr);
  if (argc == 2 && argv[1] == std::string("--serve")) {
    const auto listens = ReadConfig(tree.config);
    return listens ? Serve(tree, *listens) : 1;
  }
#else
  const Tree tree(argv[0]);
#endif
  Pause(std::atoi(Env("STAND_IN_SLEEP_MS").c_str()));
  std::string line;
  for (int i = 1; i < argc; ++i) line += (i > 1 ? " <" : "<") + std::string(argv[i]) + ">";
  line += "\n";
  std::FILE* record = std::fopen((tree.self + ".log").c_str(), "ab");
  if (!record) return 2;
  const bool recorded = std::fwrite(line.data(), 1, line.size(), record) == line.size();
  if (std::fclose(record) != 0 || !recorded) return 2;

  if (line == "<-k> <install>\n") {
    if (Env("STAND_IN_INSTALL_FAILS").empty()) return 0;
    std::fputs("Usage: httpd [-D name] [-d directory] [-f file]\n", stderr);
    return 1;
  }
  const bool test = line == "<-t>\n", start = line == "<-k> <start>\n";
  if (!test && !start && line != "<-k> <stop>\n") return 0;
  const auto listens = ReadConfig(tree.config);
  if (!listens) return 1;
  if (test) {
    std::fputs("Syntax OK\n", stderr);
    return 0;
  }
  return start ? Start(tree, *listens) : Stop(tree);
}
