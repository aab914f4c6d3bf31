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
#include <string>
#include <thread>

#include "file_io.h"
#include "listen_file.h"

int main(int argc, char** argv) {
  if (const char* sleep = std::getenv("STAND_IN_SLEEP_MS"))
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(sleep)));
#ifdef _WIN32
  // argv[0] is whatever the command line said, which may lack ".exe".
  const std::string self = _pgmptr;
#else
  const std::string self = argv[0];
#endif
  std::string line;
  for (int i = 1; i < argc; ++i) line += (i > 1 ? " <" : "<") + std::string(argv[i]) + ">";
  line += "\n";
  std::FILE* record = std::fopen((self + ".log").c_str(), "ab");
  if (!record) return 2;
  const bool recorded = std::fwrite(line.data(), 1, line.size(), record) == line.size();
  if (std::fclose(record) != 0 || !recorded) return 2;

  const char* taken = std::getenv("STAND_IN_TAKEN_PORT");
  const std::string config = self.substr(0, self.find_last_of("/\\") + 1) + "../conf/httpd.conf";
  bool listens = false;
  if (taken && line == "<-k> <start>\n" && IsFileExit(config))
    ReadListenPort(config, [&](const std::string& port) { listens = listens || port == taken; });
  if (!listens) return 0;
  for (int module = 1; module <= 3000; ++module) std::printf("stand-in: loading module %d\n", module);
  std::fflush(stdout);
  std::fputs("stand-in: could not bind: address already in use\n", stderr);
  std::fputs("stand-in: no listening sockets available, shutting down\n", stderr);
  return 1;
}
