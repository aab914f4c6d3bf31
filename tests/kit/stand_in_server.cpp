// Stands in for the server program in tests, on every platform. Each run
// appends one line to "<its own path>.log": every argument as the C runtime
// parsed it, in angle brackets. Told through its environment:
//   STAND_IN_SLEEP_MS=N    it first sleeps that long, so a caller that does
//                          not wait finds no line yet;
//   STAND_IN_TAKEN_PORT=P  "-k start" fails as a server does whose port is
//                          taken, while the tree's configuration
//                          (../conf/httpd.conf from its folder) has a Listen
//                          line for port P: a long output (more than a pipe
//                          holds), the reason last, and exit code 1.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "listen_file.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

std::string OwnPath(const char* argv0) {
#ifdef _WIN32
  // argv[0] is whatever the command line said, which may lack ".exe".
  (void)argv0;
  char self[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::string(self, length) : std::string();
#else
  return argv0;
#endif
}

bool ListensOn(const std::string& config, const char* port) {
  bool found = false;
  if (IsFileExit(config))
    ReadListenPort(config, [&](const std::string& listened) { found = found || listened == port; });
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  if (const char* sleep = std::getenv("STAND_IN_SLEEP_MS"))
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(sleep)));

  const std::string self = OwnPath(argv[0]);
  std::string line;
  for (int i = 1; i < argc; ++i) line += (i > 1 ? " <" : "<") + std::string(argv[i]) + ">";
  line += "\n";
  std::FILE* record = std::fopen((self + ".log").c_str(), "ab");
  if (!record) return 2;
  const bool recorded = std::fwrite(line.data(), 1, line.size(), record) == line.size();
  if (std::fclose(record) != 0 || !recorded) return 2;

  const char* taken = std::getenv("STAND_IN_TAKEN_PORT");
  const bool start = argc == 3 && std::strcmp(argv[1], "-k") == 0 && std::strcmp(argv[2], "start") == 0;
  const std::string folder = self.substr(0, self.find_last_of("/\\") + 1);
  if (!start || !taken || !ListensOn(folder + "../conf/httpd.conf", taken)) return 0;
  for (int module = 1; module <= 3000; ++module) std::printf("stand-in: loading module %d\n", module);
  std::fflush(stdout);
  std::fputs("stand-in: could not bind: address already in use\n", stderr);
  std::fputs("stand-in: no listening sockets available, shutting down\n", stderr);
  return 1;
}
