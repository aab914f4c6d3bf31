#pragma once

// The tests' kit: folders, files, texts with wildcards and, off Windows, private server trees.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "file_io.h"
#include "server_tree.h"

// A folder for one test, removed afterwards; in the temporary folder unless the prefix is absolute.
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
// The file's contents, or "" when there is no such file.
std::string ReadFileIfAny(const std::string& path);
// The names in the folder, sorted.
std::vector<std::string> FileNames(const std::filesystem::path& folder);
// Whether the text is the pattern, each "*" of which stands for any text.
bool Matches(std::string_view text, std::string_view pattern);

#ifndef _WIN32
// A port from 20000 to 31999 that no socket uses and this process was not given.
std::string FreePort();

// A tree laid out by script/apache-tree under PORTCFG_TREES (or the temporary folder), listening on
// `listen`. Its bin/httpd logs its arguments to bin/httpd.log, runs the shell lines, then apache2 (bin/apache).
struct TestTree {
  explicit TestTree(const std::string& listen = "80", const std::string& shell = "");
  ~TestTree();
  std::string Log() const { return ReadFileIfAny(tree.serverProgram + ".log"); }
  std::string Config() const { return ReadWholeFile(tree.configFile); }
  std::string Apache() const { return dir / "bin/apache"; }

  TempDir dir;
  ServerTree tree;
};
#endif
