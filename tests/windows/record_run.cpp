// Stands in for a program the core starts (the server program, or the
// C:\Program.exe an unquoted path would start). Each run appends one line to
// "<its own path>.log": every argument as the C runtime parsed it, in angle
// brackets. With PORTCFG_SLEEP_MS set it first sleeps that long, so a caller
// that does not wait finds no line yet.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (const char* sleep = std::getenv("PORTCFG_SLEEP_MS")) Sleep(static_cast<DWORD>(std::atoi(sleep)));
  std::string line;
  for (int i = 1; i < argc; ++i) line += (i > 1 ? " <" : "<") + std::string(argv[i]) + ">";
  line += "\r\n";

  char self[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 1;
  std::FILE* record = std::fopen((std::string(self) + ".log").c_str(), "ab");
  if (!record) return 1;
  const bool written = std::fwrite(line.data(), 1, line.size(), record) == line.size();
  return std::fclose(record) == 0 && written ? 0 : 1;
}
