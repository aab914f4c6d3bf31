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

  // The calls after the probe's AddUsedPort calls, which all come first.
  std::vector<std::string> CallsAfterProbe() const {
    const auto& calls = view.calls;
    EXPECT_EQ(controller.usedPorts().size() <= calls.size(), true);
    for (size_t i = 0; i < controller.usedPorts().size(); ++i)
      EXPECT_EQ(calls[i], "AddUsedPort " + controller.usedPorts()[i]);
    return {calls.begin() + static_cast<long>(controller.usedPorts().size()), calls.end()};
  }
};

TEST_F(ControllerStart, MissingFileIsReportedAfterTheProbeThenCloses) {
  controller.Start();
  EXPECT_EQ(controller.systemDirectory(), SystemDirectory());
  EXPECT_EQ(CallsAfterProbe(), (std::vector<std::string>{"ShowMessage Can't find httpd.conf!", "Close"}));
  EXPECT_FALSE(controller.configuredPort());
}

TEST_F(ControllerStart, NoListenLineLeavesThePortBoxAlone) {
  WriteFile(tree.configFile, "ServerRoot x\r\n#Listen 80\r\n");
  controller.Start();
  EXPECT_TRUE(CallsAfterProbe().empty());
  EXPECT_EQ(view.portText, "Text1");
  EXPECT_FALSE(controller.configuredPort());
}

TEST_F(ControllerStart, TheLastListenLineWins) {
  WriteFile(tree.configFile, "Listen 80\r\nServerName x\r\nListen 88\r\n");
  controller.Start();
  EXPECT_EQ(CallsAfterProbe(), (std::vector<std::string>{"SetPortText 80", "SetPortText 88"}));
  EXPECT_EQ(controller.configuredPort(), "88");
  EXPECT_EQ(controller.portInUse(), 0);
}

}  // namespace
