#pragma once

// The server as its own process: which one it is (server_process.cpp reads
// its pid file and the server's account of where that is), and, held so that
// a pid used again by another process cannot pass for it, whether it has
// ended and where it listens (server_process_linux.cpp: a pidfd and the
// descriptors in /proc; server_process_win32.cpp: a SYNCHRONIZE handle and
// the owners in the system's TCP table).

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The pid file the server names in the output of "-t -D DUMP_RUN_CFG" (a line
// `PidFile: "<path>"`, ServerRoot applied), or else `fallback`.
std::string ReportedPidFile(std::string_view output, const std::string& fallback);

// The pid file a server tree keeps when its configuration names none:
// logs/httpd.pid beside the folder of the configuration file.
std::string DefaultPidFile(const std::string& configFile);

class ServerProcess {
 public:
  // The live process whose pid the file holds; nothing when there is no such
  // file, it holds no pid, or that process has ended. Throws, naming the path
  // or the pid, when the file cannot be read or the process cannot be held.
  static std::optional<ServerProcess> Find(const std::string& pidFile);

  ServerProcess(ServerProcess&&) noexcept;
  ServerProcess& operator=(ServerProcess&&) noexcept;
  ~ServerProcess();

  int pid() const { return pid_; }
  // True once the process has ended; one ended but not yet reaped has.
  bool Ended() const;
  // The ports of the listening TCP sockets the process or one of its
  // children holds; nothing when the system does not say whose a socket is
  // (another user's process, or Wine, which names no owner).
  std::optional<std::vector<int>> ListeningPorts() const;

 private:
  struct Held;
  ServerProcess(int pid, std::unique_ptr<Held> held);
  // The process by its pid, held; nothing when it has already ended.
  static std::optional<ServerProcess> Hold(int pid);

  int pid_;
  std::unique_ptr<Held> held_;
};
