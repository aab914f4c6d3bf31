#include <gtest/gtest.h>
#include <sys/socket.h>

#include <algorithm>
#include <filesystem>

#include "port_controller.h"
#include "posix_support.h"
#include "refusal_cases.h"
#include "test_support.h"

namespace {

using Calls = std::vector<std::string>;

// A private server tree (its path has spaces) whose server program records
// each run, and a live listener whose port the probe must report as used.
class ChangeRequest : public ::testing::Test {
 protected:
  TempDir dir{"portcfg tree "};
  ServerTree tree{dir / "httpd.conf", dir / "bin httpd"};
  std::string commandLog = dir / "commands.log";
  Listener listener{AF_INET};
  RecordingView view;

  void SetUp() override { WriteStandInServer(tree.serverProgram, commandLog); }

  // Starts a controller on the config and returns the calls the request made.
  Calls Request(PortController& controller, const std::string& typed) {
    controller.Start();
    view.portText = typed;
    view.calls.clear();
    controller.RequestChange();
    return view.calls;
  }

  std::string FreePort(const PortController& controller) const {
    const auto& used = controller.usedPorts();
    for (int port = 20000;; ++port)
      if (std::find(used.begin(), used.end(), std::to_string(port)) == used.end()) return std::to_string(port);
  }
};

TEST_F(ChangeRequest, RefusalsShowOneMessageAndChangeNothing) {
  for (const auto& c : kRefusalCases) {
    const std::string config = WithPort(c.config, std::to_string(listener.port()));
    const std::string typed = WithPort(c.typed, std::to_string(listener.port()));
    SCOPED_TRACE(config + " typed '" + typed + "'");
    WriteFile(tree.configFile, config);
    PortController controller(c.mode, view, tree);
    EXPECT_EQ(Request(controller, typed),
              (Calls{"SetApplyEnabled 0", std::string("ShowMessage ") + c.message, "SetApplyEnabled 1"}));
    EXPECT_EQ(ReadFile(tree.configFile), config);
    EXPECT_FALSE(std::filesystem::exists(commandLog));
  }
}

struct ApplyCase {
  ApplyMode mode;
  const char* typed;  // "P" stands for a free port
  const char* expectedConfig;
  const char* expectedCommands;
};

// A refusal first, then the mode's two commands in order, each waited for
// (the stand-in logs only after a pause), then Close and no message.
TEST_F(ChangeRequest, ApplyRewritesThenRunsTheModesCommands) {
  const ApplyCase cases[] = {
      {ApplyMode::Setup, " 0P ", "ServerRoot x\nListen 0P\n#Listen 1\nListen 127.0.0.1:0P http\n",
       "-k install\n-k start\n"},
      {ApplyMode::Change, "P", "ServerRoot x\nListen P\n#Listen 1\nListen 127.0.0.1:P http\n",
       "-k stop\n-k start\n"},
  };
  for (const auto& c : cases) {
    WriteFile(tree.configFile, "ServerRoot x\r\nListen 80\r\n#Listen 1\r\nListen 127.0.0.1:88 http\r\n");
    std::filesystem::remove(commandLog);
    PortController controller(c.mode, view, tree);
    EXPECT_EQ(Request(controller, "abc")[1], "ShowMessage Must be number.");

    const std::string port = FreePort(controller);
    view.portText = WithPort(c.typed, port);
    view.calls.clear();
    controller.RequestChange();
    EXPECT_EQ(view.calls, (Calls{"SetApplyEnabled 0", "Close"}));
    EXPECT_EQ(ReadFile(tree.configFile), WithPort(c.expectedConfig, port));
    EXPECT_EQ(ReadFile(commandLog), c.expectedCommands);
  }
}

}  // namespace
