// Stands in for the system's netstat. Called exactly as the probe's batch
// file calls it, it prints a socket list in Windows' own layout, then what
// came of trying, as another user's program would, to open the batch file
// that runs it for writing and to delete it (0: done, else the error code).
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 2 || std::strcmp(argv[1], "-na") != 0) return 1;
  // The C runtime ends each line with CR LF, as netstat does.
  std::fputs(
      "\nActive Connections\n\n"
      "  Proto  Local Address          Foreign Address        State\n"
      "  TCP    0.0.0.0:80             0.0.0.0:0              LISTENING\n"
      "  TCP    127.0.0.1:8080         127.0.0.1:49702        ESTABLISHED\n"
      "  TCP    [::]:135               [::]:0                 LISTENING\n"
      "  UDP    0.0.0.0:445            *:*\n",
      stdout);
  const wchar_t* batch = L"c:\\testport.bat";
  const HANDLE writer = CreateFileW(batch, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  std::printf("open for writing: %lu\n", writer == INVALID_HANDLE_VALUE ? GetLastError() : 0);
  if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
  std::printf("delete: %lu\n", DeleteFileW(batch) ? 0 : GetLastError());
  return std::fflush(stdout) == 0 ? 0 : 1;
}
