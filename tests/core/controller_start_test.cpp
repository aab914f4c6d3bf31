#include <gtest/gtest.h>

#include "port_controller.h"
#include "port_probe.h"
#include "test_support.h"

namespace {

class ControllerStart : public ::testing::Test {
 protected:
  TempDir dir;
  ServerTree tree{dir / "httpd.conf", dir / "httpd"};
  RecordingView view;
  PortController controller{ApplyMode::Change, view, tree};

  // The probe's entries, listed first and in order, then the given calls.
  std::vector<std::string> ProbeThen(std::vector<std::string> after) const {
    std::vector<std::string> calls;
    for (const std::string& port : controller.usedPorts()) calls.push_back("AddUsedPort " + port);
    calls.insert(calls.end(), after.begin(), after.end());
    return calls;
  }
};

TEST_F(ControllerStart, MissingFileIsReportedAfterTheProbeThenCloses) {
  controller.Start();
  EXPECT_EQ(controller.systemDirectory(), SystemDirectory());
  EXPECT_EQ(view.calls, ProbeThen({"ShowMessage Can't find httpd.conf!", "Close"}));
  EXPECT_FALSE(controller.configuredPort());
}

TEST_F(ControllerStart, NoListenLineLeavesThePortBoxAlone) {
  WriteFile(tree.configFile, "ServerRoot x\r\n#Listen 80\r\n");
  controller.Start();
  EXPECT_EQ(view.calls, ProbeThen({}));
  EXPECT_EQ(view.portText, "Text1");
  EXPECT_FALSE(controller.configuredPort());
}

TEST_F(ControllerStart, TheLastListenLineWins) {
  WriteFile(tree.configFile, "Listen 80\r\nServerName x\r\nListen 88\r\n");
  controller.Start();
  EXPECT_EQ(view.calls, ProbeThen({"SetPortText 80", "SetPortText 88"}));
  EXPECT_EQ(controller.configuredPort(), "88");
  EXPECT_EQ(controller.portInUse(), 0);
}

}  // namespace
