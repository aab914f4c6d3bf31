#pragma once

// The tests' kit on every platform: folders and files, and the environment
// the commands started inherit.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// A fresh folder for one test, removed with everything in it afterwards.
class TempDir {
 public:
  explicit TempDir(std::string_view prefix = "portcfg-test-");
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir();
  const std::filesystem::path& path() const { return path_; }
  std::string operator/(std::string_view name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

void WriteFile(const std::string& path, std::string_view contents);
std::string ReadFile(const std::string& path);
// The file's contents, or "" when there is no such file.
std::string ReadFileIfAny(const std::string& path);
// The names in the folder, sorted.
std::vector<std::string> FileNames(const std::filesystem::path& folder);

// Sets an environment variable for one scope.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value);
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
  ~ScopedEnvironment();

 private:
  const char* name_;
};
