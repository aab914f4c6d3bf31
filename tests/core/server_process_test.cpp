// Which process is the server: where the server says its pid file is.
#include "server_process.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

// The path on the server's own line, whatever its line ends; where the server names none, the tree's.
TEST(ReportedPidFile, IsTheServersOwnOrElseTheTrees) {
  const std::pair<const char*, const char*> cases[] = {
      {"ServerRoot: \"/srv/a b\"\nPidFile: \"/run/a b/httpd.pid\"\nDefine: DUMP_RUN_CFG\n", "/run/a b/httpd.pid"},
      {"Mutex default: dir=\"C:/x/\"\r\nPidFile: \"C:/Apache2/logs/httpd.pid\"\r\n", "C:/Apache2/logs/httpd.pid"},
      {"stand-in: line    0 of 5000\n", "logs/httpd.pid"},
  };
  for (const auto& [output, pidFile] : cases) EXPECT_EQ(ReportedPidFile(output, "logs/httpd.pid"), pidFile) << output;
}

}  // namespace
