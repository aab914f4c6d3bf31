// Stands in for the system's netstat. Called exactly as the probe's batch
// file calls it, it prints a socket list in Windows' own layout, then what
// came of trying, as another user's program would, to open the batch file
// that runs it for writing and to delete it. Called otherwise, it fails.
#include <windows.h>

#include <cstring>
#include <string>

namespace {

std::string Outcome(const char* attempt, bool done) {
  return std::string(attempt) + (done ? "done" : "error " + std::to_string(GetLastError())) + "\r\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || std::strcmp(argv[1], "-na") != 0) return 1;
  std::string output =
      "\r\nActive Connections\r\n\r\n"
      "  Proto  Local Address          Foreign Address        State\r\n"
      "  TCP    0.0.0.0:80             0.0.0.0:0              LISTENING\r\n"
      "  TCP    127.0.0.1:8080         127.0.0.1:49702        ESTABLISHED\r\n"
      "  TCP    [::]:135               [::]:0                 LISTENING\r\n"
      "  UDP    0.0.0.0:445            *:*\r\n";
  const wchar_t* batch = L"c:\\testport.bat";
  const HANDLE writer = CreateFileW(batch, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  output += Outcome("open for writing: ", writer != INVALID_HANDLE_VALUE);
  if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
  output += Outcome("delete: ", DeleteFileW(batch));
  DWORD written = 0;
  // WriteFile, not the C runtime, so no line end is translated.
  const bool done =
      WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), output.data(), static_cast<DWORD>(output.size()), &written, nullptr);
  return done ? 0 : 1;
}
