#include "test_support.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <stdlib.h>
#endif

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

TempDir::TempDir(std::string_view prefix) {
  std::random_device random;
  path_ = std::filesystem::temp_directory_path() / (std::string(prefix) + std::to_string(random()));
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

void WriteFile(const std::string& path, std::string_view contents) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

std::string ReadFileIfAny(const std::string& path) {
  return std::filesystem::exists(path) ? ReadFile(path) : std::string();
}

#ifdef _WIN32
ScopedEnvironment::ScopedEnvironment(const char* name, const char* value) : name_(name) {
  SetEnvironmentVariableA(name, value);
}
ScopedEnvironment::~ScopedEnvironment() { SetEnvironmentVariableA(name_, nullptr); }
#else
ScopedEnvironment::ScopedEnvironment(const char* name, const char* value) : name_(name) { setenv(name, value, 1); }
ScopedEnvironment::~ScopedEnvironment() { unsetenv(name_); }
#endif

std::vector<std::string> FileNames(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

void RecordingView::SetPortText(const std::string& text) {
  portText = text;
  calls.push_back("SetPortText " + text);
}
void RecordingView::AddUsedPort(const std::string& port) { calls.push_back("AddUsedPort " + port); }
void RecordingView::SetApplyEnabled(bool enabled) {
  calls.push_back(enabled ? "SetApplyEnabled 1" : "SetApplyEnabled 0");
}
void RecordingView::ShowMessage(const std::string& text) { calls.push_back("ShowMessage " + text); }
void RecordingView::Close() { calls.push_back("Close"); }
