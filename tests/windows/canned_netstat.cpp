// Stands in for the system's netstat: prints the canned socket list when
// called exactly as the probe's batch file calls it, and fails otherwise.
// First it tries, as another user's program would, to change the batch file
// that runs it: to open it for writing, then to delete it. Each outcome is
// appended to "<its own path>.log".
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "canned_netstat.h"

namespace {

std::string Outcome(bool done) { return done ? "done" : "error " + std::to_string(GetLastError()); }

bool RecordAttemptsOnTheBatchFile() {
  const wchar_t* batch = L"c:\\testport.bat";
  const HANDLE writer = CreateFileW(batch, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  std::string record = "open for writing: " + Outcome(writer != INVALID_HANDLE_VALUE) + "\n";
  if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
  record += "delete: " + Outcome(DeleteFileW(batch)) + "\n";

  char self[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  std::FILE* file = std::fopen((std::string(self) + ".log").c_str(), "ab");
  if (!file) return false;
  const bool written = std::fwrite(record.data(), 1, record.size(), file) == record.size();
  return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || std::strcmp(argv[1], "-na") != 0 || !RecordAttemptsOnTheBatchFile()) return 1;
  DWORD written = 0;
  // WriteFile, not the C runtime, so no line end is translated.
  return WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), kCannedNetstat, sizeof kCannedNetstat - 1, &written, nullptr)
             ? 0
             : 1;
}
