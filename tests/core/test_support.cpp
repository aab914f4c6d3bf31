#include "test_support.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

// An absolute prefix makes the folder there instead.
TempDir::TempDir(std::string_view prefix)
    : path_(std::filesystem::temp_directory_path() / (std::string(prefix) + std::to_string(std::random_device()()))) {
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void WriteFile(const std::string& path, std::string_view contents) {
  std::ofstream out(path, std::ios::binary);
  if (!out.write(contents.data(), static_cast<std::streamsize>(contents.size())).flush())
    throw std::runtime_error("cannot write " + path);
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

std::vector<std::string> FileNames(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Windows: the process's own environment, which the programs it starts inherit.
#ifdef _WIN32
ScopedEnvironment::ScopedEnvironment(const char* name, const char* value) : name_(name) {
  SetEnvironmentVariableA(name, value);
}
ScopedEnvironment::~ScopedEnvironment() { SetEnvironmentVariableA(name_, nullptr); }
#else
ScopedEnvironment::ScopedEnvironment(const char* name, const char* value) : name_(name) { setenv(name, value, 1); }
ScopedEnvironment::~ScopedEnvironment() { unsetenv(name_); }
#endif
