#include <gtest/gtest.h>
#include <sys/socket.h>

#include <algorithm>
#include <filesystem>

#include "port_controller.h"
#include "posix_support.h"
#include "test_support.h"

namespace {

using Calls = std::vector<std::string>;

// Replaces every "P" in the text by the port.
std::string WithPort(std::string text, int port) {
  for (size_t at; (at = text.find('P')) != std::string::npos;) text.replace(at, 1, std::to_string(port));
  return text;
}

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

struct RefusalCase {
  ApplyMode mode;
  const char* config;  // "P" stands for the listener's port
  const char* typed;
  const char* message;
};

TEST_F(ChangeRequest, RefusalsShowOneMessageAndChangeNothing) {
  const RefusalCase cases[] = {
      {ApplyMode::Setup, "Listen 88\r\n", "abc", "Must be number."},
      {ApplyMode::Setup, "Listen 88\r\n", "", "Must be number."},
      {ApplyMode::Setup, "Listen 88\r\n", "Text1", "Must be number."},
      {ApplyMode::Setup, "Listen 88\r\n", "1,000", "Must be number."},
      {ApplyMode::Setup, "Listen 88\r\n", "$80", "Must be number."},
      {ApplyMode::Setup, "Listen 88\r\n", "0x50", "Must be number."},
      {ApplyMode::Setup, "Listen 88\r\n", "8e", "Must be number."},
      {ApplyMode::Setup, "Listen 88\r\n", "0", "Must be 0~65536"},
      {ApplyMode::Setup, "Listen 88\r\n", "65536", "Must be 0~65536"},
      {ApplyMode::Setup, "Listen 88\r\n", "+80", "Must be 0~65536"},
      {ApplyMode::Setup, "Listen 88\r\n", "-80", "Must be 0~65536"},
      {ApplyMode::Setup, "Listen 88\r\n", "8e1", "Must be 0~65536"},
      {ApplyMode::Setup, "Listen 88\r\n", "80.0", "Must be 0~65536"},
      {ApplyMode::Setup, "Listen 88\r\n", ".5", "Must be 0~65536"},
      {ApplyMode::Setup, "Listen 88\r\n", "P", "Can't use."},
      {ApplyMode::Setup, "Listen 88\r\n", " P", "Can't use."},
      {ApplyMode::Setup, "Listen 88\r\n", "0P ", "Can't use."},
      {ApplyMode::Setup, "Listen P\r\n", "P", "Can't use."},
      {ApplyMode::Change, "Listen P\r\n", "P", "Not change."},
      {ApplyMode::Change, "Listen P\r\n", " P ", "Not change."},
      {ApplyMode::Change, "Listen P\r\n", "00P", "Not change."},
      {ApplyMode::Change, "Listen P\r\n", "0", "Must be 0~65536"},
      {ApplyMode::Change, "Listen P\r\n", "Text1", "Must be number."},
      {ApplyMode::Change, "Listen 88\r\n", "P", "Can't use."},
      {ApplyMode::Change, "ServerName x\r\n", "P", "Can't use."},
  };
  for (const auto& c : cases) {
    const std::string config = WithPort(c.config, listener.port());
    const std::string typed = WithPort(c.typed, listener.port());
    SCOPED_TRACE(config + " typed '" + typed + "'");
    WriteFile(tree.configFile, config);
    PortController controller(c.mode, view, tree);
    EXPECT_EQ(Request(controller, typed),
              (Calls{"SetApplyEnabled 0", std::string("ShowMessage ") + c.message, "SetApplyEnabled 1"}));
    EXPECT_EQ(ReadFile(tree.configFile), config);
    EXPECT_FALSE(std::filesystem::exists(commandLog));
  }
}

TEST_F(ChangeRequest, SetupWritesThePortThenInstallsAndStarts) {
  WriteFile(tree.configFile, "ServerRoot x\r\nListen 80\r\n#Listen 1\r\nListen 127.0.0.1:88 http\r\n");
  PortController controller(ApplyMode::Setup, view, tree);
  controller.Start();
  const std::string port = FreePort(controller);
  view.portText = " 0" + port + " ";
  view.calls.clear();
  controller.RequestChange();

  EXPECT_EQ(view.calls, (Calls{"SetApplyEnabled 0", "Close"}));
  EXPECT_EQ(ReadFile(tree.configFile),
            "ServerRoot x\nListen 0" + port + "\n#Listen 1\nListen 127.0.0.1:0" + port + " http\n");
  EXPECT_EQ(ReadFile(commandLog), "-k install\n-k start\n");
}

TEST_F(ChangeRequest, ChangeAfterARefusalStopsAndStarts) {
  WriteFile(tree.configFile, "Listen 8080\r\n");
  PortController controller(ApplyMode::Change, view, tree);
  EXPECT_EQ(Request(controller, "8080")[1], "ShowMessage Not change.");

  const std::string port = FreePort(controller);
  view.portText = port;
  view.calls.clear();
  controller.RequestChange();
  EXPECT_EQ(view.calls, (Calls{"SetApplyEnabled 0", "Close"}));
  EXPECT_EQ(ReadFile(tree.configFile), "Listen " + port + "\n");
  EXPECT_EQ(ReadFile(commandLog), "-k stop\n-k start\n");
}

}  // namespace
