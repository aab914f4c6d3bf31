// Stands in, by its name, for netstat (a socket list, then the errors of writing and deleting the
// probe's batch file) or the server program, which appends its arguments, each in brackets, to
// "<its path>.log": -t writes more than a pipe holds; -k start ends once a detached copy, holding this
// one's output, listens on httpd.conf's Listen port and has written its pid to logs\httpd.pid; -k stop
// has the copy end 300 ms later.
#include "test_sockets.h"  // first: winsock2.h must come before windows.h
//
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

const char* const kStop = "portconfig.stand-in.stop";

// The C runtime ends each line with CR LF, as netstat does.
int Netstat() {
  std::fputs(
      "\nActive Connections\n\n  Proto  Local Address          Foreign Address        State\n"
      "  TCP    0.0.0.0:80             0.0.0.0:0              LISTENING\n"
      "  UDP    0.0.0.0:445            *:*\n",
      stdout);
  const HANDLE writer = CreateFileA("c:\\testport.bat", GENERIC_WRITE, 7, nullptr, OPEN_EXISTING, 0, nullptr);
  std::printf("open for writing: %lu\n", writer == INVALID_HANDLE_VALUE ? GetLastError() : 0);
  std::printf("delete: %lu\n", DeleteFileA("c:\\testport.bat") ? 0 : GetLastError());
  return 0;
}

// The copy writes its pid file, when given one, and sets the event it was
// handed once it listens, and waits to be told to stop: two minutes at most,
// should its test have died. As a server does, it removes the pid file as it
// ends.
int Serve(const char* port, const char* listening, const std::string& pidFile) {
  const Sockets sockets;
  TestSocket listener(AF_INET6, SOCK_STREAM, std::atoi(port));
  listener.Listen();
  const HANDLE stop = CreateEventA(nullptr, TRUE, FALSE, kStop);
  if (!pidFile.empty()) std::ofstream(pidFile, std::ios::binary) << GetCurrentProcessId() << "\r\n";
  SetEvent(reinterpret_cast<HANDLE>(std::strtoull(listening, nullptr, 10)));
  WaitForSingleObject(stop, 120000);
  Sleep(300);
  if (!pidFile.empty()) std::filesystem::remove(pidFile);
  return 0;
}

int Start(const std::filesystem::path& self) {
  std::string word, port;
  // Closed before the copy starts, which would inherit it and keep httpd.conf from being replaced.
  for (std::ifstream config(self.parent_path() / "../conf/httpd.conf"); config >> word;)
    if (word == "Listen" && config >> port) port.erase(0, port.rfind(':') + 1);
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  const HANDLE listening = CreateEventA(&inheritable, TRUE, FALSE, nullptr);
  const std::filesystem::path logs = self.parent_path() / "../logs";
  std::filesystem::create_directories(logs);
  std::string line = "\"" + self.string() + "\" --serve " + port + " " +
                     std::to_string(reinterpret_cast<unsigned long long>(listening)) + " \"" +
                     (logs / "httpd.pid").string() + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION copy{};
  CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr, nullptr, &startup, &copy);
  const HANDLE either[] = {listening, copy.hProcess};
  return WaitForMultipleObjects(2, either, FALSE, 30000) == WAIT_OBJECT_0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path self = _pgmptr;  // argv[0] may lack ".exe"
  if (_stricmp(self.stem().string().c_str(), "netstat") == 0) return Netstat();
  if ((argc == 4 || argc == 5) && std::string(argv[1]) == "--serve")
    return Serve(argv[2], argv[3], argc == 5 ? argv[4] : "");
  std::string line, logged;
  for (int i = 1; i < argc; ++i) {
    line += (i > 1 ? " " : "") + std::string(argv[i]);
    logged += (i > 1 ? " [" : "[") + std::string(argv[i]) + "]";
  }
  std::ofstream(self.string() + ".log", std::ios::binary | std::ios::app) << logged << "\n";
  if (line == "-k start") return Start(self);
  if (line == "-k stop" && !SetEvent(OpenEventA(EVENT_MODIFY_STATE, FALSE, kStop)))
    std::puts("httpd (no pid file) not running");
  for (int i = 0; i < 5000 && line.rfind("-t", 0) == 0; ++i) std::printf("stand-in: line %4d of 5000\n", i);
  return 0;
}
