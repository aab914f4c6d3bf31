// Stands in for a program the core starts (the server program, or the
// C:\Program.exe an unquoted path would start). Each run appends one line to
// "<its own path>.log": every argument as the system parsed it, in angle
// brackets. With PORTCFG_SLEEP_MS set it first sleeps that long, so a caller
// that does not wait finds no line yet.
#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <string>

int main() {
  char sleep[16];
  if (GetEnvironmentVariableA("PORTCFG_SLEEP_MS", sleep, sizeof sleep) > 0) Sleep(std::atoi(sleep));

  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!arguments) return 1;
  std::wstring line;
  for (int i = 1; i < count; ++i) line += (i > 1 ? L" <" : L"<") + std::wstring(arguments[i]) + L">";
  line += L"\r\n";
  LocalFree(arguments);

  std::string bytes(static_cast<size_t>(line.size()) * 4, '\0');
  const int size = WideCharToMultiByte(CP_ACP, 0, line.data(), static_cast<int>(line.size()), bytes.data(),
                                       static_cast<int>(bytes.size()), nullptr, nullptr);
  wchar_t record[MAX_PATH + 8];
  const DWORD length = GetModuleFileNameW(nullptr, record, MAX_PATH);
  if (size <= 0 || length == 0 || length >= MAX_PATH) return 1;
  lstrcatW(record, L".log");
  const HANDLE file =
      CreateFileW(record, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(size), &written, nullptr);
  CloseHandle(file);
  return ok ? 0 : 1;
}
