#include "test_support.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <set>
#include <stdexcept>

#include "hidden_command.h"
#include "port_probe.h"

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

std::string ReadFileIfAny(const std::string& path) {
  return std::filesystem::exists(path) ? ReadWholeFile(path) : std::string();
}

std::vector<std::string> FileNames(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

bool Matches(std::string_view text, std::string_view pattern) {
  size_t star = pattern.find('*');
  if (star == std::string_view::npos) return text == pattern;
  if (text.substr(0, star) != pattern.substr(0, star)) return false;
  text.remove_prefix(star);
  pattern.remove_prefix(star + 1);
  // Each piece between stars where it first comes; the last ends the text.
  for (; (star = pattern.find('*')) != std::string_view::npos; pattern.remove_prefix(star + 1)) {
    const size_t at = text.find(pattern.substr(0, star));
    if (at == std::string_view::npos) return false;
    text.remove_prefix(at + star);
  }
  return text.size() >= pattern.size() && text.substr(text.size() - pattern.size()) == pattern;
}

#ifndef _WIN32
namespace {

constexpr const char* kApacheTree = PORTCFG_SOURCE_DIR "/script/apache-tree";

std::string ApacheTree(std::vector<std::string> arguments) {
  const CommandResult result = RunHiddenAndWait({kApacheTree, std::move(arguments)});
  if (result.exitCode != 0) throw std::runtime_error("script/apache-tree failed: " + result.output);
  return result.output;
}

}  // namespace

std::string FreePort() {
  static std::set<int> given;  // each once, so that a test's ports differ
  static std::mt19937 random{std::random_device()()};
  const std::vector<int> used = ProbeUsedPorts(SystemDirectory());
  for (int tries = 0; tries < 100; ++tries) {
    // Below the kernel's range for outgoing connections, so none takes it meanwhile.
    const int port = std::uniform_int_distribution<int>(20000, 31999)(random);
    if (std::find(used.begin(), used.end(), port) == used.end() && given.insert(port).second)
      return std::to_string(port);
  }
  throw std::runtime_error("no free port found");
}

TestTree::TestTree(const std::string& listen, const std::string& shell)
    : dir(std::getenv("PORTCFG_TREES") ? std::getenv("PORTCFG_TREES") + std::string("/tree ") : "portcfg tree "),
      tree{dir / "conf/httpd.conf", dir / "bin/httpd"} {
  ApacheTree({"create", dir.path().string(), listen});
  std::filesystem::rename(tree.serverProgram, Apache());
  WriteFile(tree.serverProgram, "#!/bin/sh\necho \"$*\" >>\"$0.log\"\n" + shell + "\nexec \"${0%/*}/apache\" \"$@\"\n");
  std::filesystem::permissions(tree.serverProgram, std::filesystem::perms(0755));
}

TestTree::~TestTree() {
  std::error_code ignored;
  std::filesystem::rename(Apache(), tree.serverProgram, ignored);
  RunHiddenAndWait({kApacheTree, {"stop-all", dir.path().string()}});
}
#endif
