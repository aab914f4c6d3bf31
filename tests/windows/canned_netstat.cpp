// Stands in for the system's netstat: prints the canned socket list when
// called exactly as the probe's batch file calls it, and fails otherwise.
#include <windows.h>

#include <cstring>

#include "canned_netstat.h"

int main(int argc, char** argv) {
  if (argc != 2 || std::strcmp(argv[1], "-na") != 0) return 1;
  DWORD written = 0;
  // WriteFile, not the C runtime, so no line end is translated.
  return WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), kCannedNetstat, sizeof kCannedNetstat - 1, &written, nullptr)
             ? 0
             : 1;
}
