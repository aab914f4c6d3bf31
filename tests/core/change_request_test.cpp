#include <gtest/gtest.h>
#include <sys/socket.h>

#include <algorithm>
#include <filesystem>

#include "failed_change_cases.h"
#include "port_controller.h"
#include "posix_support.h"
#include "refusal_cases.h"
#include "test_support.h"

namespace {

using Calls = std::vector<std::string>;

// A private server tree (its path has spaces) in the upstream layout, whose
// server program is the stand-in, and a live listener whose port the probe
// must report as used.
class ChangeRequest : public ::testing::Test {
 protected:
  TempDir dir{"portcfg tree "};
  ServerTree tree{dir / "conf/httpd.conf", dir / "bin/httpd"};
  Listener listener{AF_INET};
  RecordingView view;

  void SetUp() override {
    std::filesystem::create_directory(dir / "conf");
    InstallStandIn();
  }

  void InstallStandIn() const {
    std::filesystem::create_directories(dir / "bin");
    std::filesystem::copy_file(STAND_IN_SERVER, tree.serverProgram);
  }
  std::string Runs() const { return ReadFileIfAny(tree.serverProgram + ".log"); }

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
    EXPECT_EQ(Runs(), "");
  }
}

struct ApplyCase {
  ApplyMode mode;
  const char* typed;  // "P" stands for a free port
  const char* expectedConfig;
  const char* expectedRuns;
};

// A refusal first, then the mode's two commands in order, each waited for
// (the stand-in records only after a pause), then Close and no message.
TEST_F(ChangeRequest, ApplyRewritesThenRunsTheModesCommands) {
  const ApplyCase cases[] = {
      {ApplyMode::Setup, " 0P ", "ServerRoot x\nListen 0P\n#Listen 1\nListen 127.0.0.1:0P http\n",
       "<-k> <install>\n<-k> <start>\n"},
      {ApplyMode::Change, "P", "ServerRoot x\nListen P\n#Listen 1\nListen 127.0.0.1:P http\n",
       "<-k> <stop>\n<-k> <start>\n"},
  };
  const ScopedEnvironment slow("STAND_IN_SLEEP_MS", "100");
  for (const auto& c : cases) {
    WriteFile(tree.configFile, "ServerRoot x\r\nListen 80\r\n#Listen 1\r\nListen 127.0.0.1:88 http\r\n");
    std::filesystem::remove(tree.serverProgram + ".log");
    PortController controller(c.mode, view, tree);
    EXPECT_EQ(Request(controller, "abc")[1], "ShowMessage Must be number.");

    const std::string port = FreePort(controller);
    view.portText = WithPort(c.typed, port);
    view.calls.clear();
    controller.RequestChange();
    EXPECT_EQ(view.calls, (Calls{"SetApplyEnabled 0", "Close"}));
    EXPECT_TRUE(controller.applied());
    EXPECT_EQ(ReadFile(tree.configFile), WithPort(c.expectedConfig, port));
    EXPECT_EQ(Runs(), c.expectedRuns);
  }
}

TEST_F(ChangeRequest, AFailedChangeIsReportedWithTheFileAsBefore) {
  for (const auto& c : kFailedChangeCases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(dir / "bin");
    if (c.serverInstalled) InstallStandIn();
    WriteFile(tree.configFile, c.config);
    PortController controller(c.mode, view, tree);
    controller.Start();
    const std::string port = FreePort(controller);
    const ScopedEnvironment taken("STAND_IN_TAKEN_PORT", port.c_str());
    view.portText = port;
    view.calls.clear();
    EXPECT_EQ(WrongWithRequest(controller, c, tree.serverProgram), "");
    EXPECT_EQ(view.calls, Calls{"SetApplyEnabled 0"});
    EXPECT_FALSE(controller.applied());
    EXPECT_EQ(ReadFile(tree.configFile), c.config);
    EXPECT_EQ(Runs(), c.runs);
  }
}

}  // namespace
