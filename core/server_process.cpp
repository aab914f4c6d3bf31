#include "server_process.h"

#include <charconv>
#include <exception>
#include <filesystem>

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

std::string DefaultPidFile(const std::string& configFile) {
  return (std::filesystem::path(configFile).parent_path().parent_path() / "logs" / "httpd.pid").string();
}

std::optional<ServerProcess> ServerProcess::Find(const std::string& pidFile) {
  std::string text;
  try {
    text = ReadWholeFile(pidFile);
  } catch (const std::exception&) {
    return std::nullopt;  // no server has written it, or it was removed as the server ended
  }
  // The server writes its pid and a line end.
  int pid = 0;
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(text.data(), last, pid);
  if (error != std::errc() || pid <= 0 || text.find_first_not_of(" \t\r\n", end - text.data()) != std::string::npos)
    return std::nullopt;
  return Hold(pid);
}
