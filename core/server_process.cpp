#include "server_process.h"

#include <charconv>
#include <exception>

#include "file_io.h"
#include "text_lines.h"

std::string ReportedPidFile(std::string_view output, const std::string& fallback) {
  constexpr std::string_view kLabel = "PidFile: \"";
  std::string found = fallback;
  ForEachLine(output, [&](std::string_view line) {
    if (line.substr(0, kLabel.size()) != kLabel) return;
    line.remove_prefix(kLabel.size());
    const size_t end = line.rfind('"');
    if (end != std::string_view::npos && end > 0) found = std::string(line.substr(0, end));
  });
  return found;
}

// Written with the path's own separator; std::filesystem would make the
// Windows programs three times their size.
std::string DefaultPidFile(const std::string& configFile) {
  const size_t folder = configFile.find_last_of("/\\");
  const size_t root =
      folder == std::string::npos || folder == 0 ? std::string::npos : configFile.find_last_of("/\\", folder - 1);
  const char separator = folder == std::string::npos ? '/' : configFile[folder];
  const std::string prefix = root == std::string::npos ? std::string() : configFile.substr(0, root + 1);
  return prefix + "logs" + separator + "httpd.pid";
}

std::optional<ServerProcess> ServerProcess::Find(const std::string& pidFile) {
  // No server has written it yet, or it was removed as the server ended, even
  // while it was being read; one that is there but cannot be read says
  // nothing of the server.
  if (!IsFileExit(pidFile)) return std::nullopt;
  std::string text;
  try {
    text = ReadWholeFile(pidFile);
  } catch (const std::exception&) {
    if (IsFileExit(pidFile)) throw;
    return std::nullopt;
  }
  // The server writes its pid and a line end.
  int pid = 0;
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(text.data(), last, pid);
  if (error != std::errc() || pid <= 0 || text.find_first_not_of(" \t\r\n", end - text.data()) != std::string::npos)
    return std::nullopt;
  return Hold(pid);
}
