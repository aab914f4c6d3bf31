// The controller: what it shows, writes and runs, and where the server listens afterwards; the server is
// apache2 on a private tree, or a few lines of shell for what a real server does not do on demand.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <list>
#include <map>
#include <optional>
#include <thread>

#include "port_controller.h"
#include "test_sockets.h"
#include "test_support.h"

namespace {

using Calls = std::vector<std::string>;

// The window as the controller drives it: its port box, the used ports it shows, and the rest as calls
// ("ports" for the used ports, each box's text, "disabled", "enabled", "closed").
struct RecordingView : PortView {
  std::string GetPortText() override { return text; }
  void SetPortText(const std::string& port) override { text = port; }
  void AddUsedPort(const std::string& port) override {
    if (calls.empty() || calls.back() != "ports") calls.push_back("ports");
    shown.push_back(port);
  }
  void SetApplyEnabled(bool enabled) override { calls.push_back(enabled ? "enabled" : "disabled"); }
  void ShowMessage(const std::string& message) override { calls.push_back(message); }
  void Close() override { calls.push_back("closed"); }
  void KeepAlive() override { ++keptAlive; }
  std::string text = "Text1";
  Calls calls;
  std::vector<std::string> shown;
  int keptAlive = 0;
};

// The text with each name replaced by its value.
std::string Filled(std::string text, const std::map<std::string, std::string>& values) {
  for (const auto& [name, value] : values)
    for (size_t at = 0; (at = text.find(name, at)) != std::string::npos; at += value.size())
      text.replace(at, name.size(), value);
  return text;
}

struct FirstCase {
  ApplyMode mode;
  const char* config;  // none: no httpd.conf; "/...": a link to that file
  const char* typed;   // none: start-up alone, and the port box's text is the last call
  Calls calls;         // a StepError's heading among them
};

// Start-up lists the used ports first and shows the last Listen line's port; a request is checked against
// them and that port ("P": a UDP port in use), and against one taken since ("L"), nothing written or run.
TEST(Controller, StartsAndRefuses) {
  const FirstCase cases[] = {
      {ApplyMode::Change, nullptr, nullptr, {"ports", "Can't find httpd.conf!", "closed", "Text1"}},
      {ApplyMode::Change, "ServerName x\n", nullptr, {"ports", "Text1"}},
      {ApplyMode::Change, "Listen 80\r\nListen [::1]:0008080 http\n", nullptr, {"ports", "0008080"}},
      {ApplyMode::Change, "/proc/self/mem", nullptr, {"ports", "Could not read httpd.conf.", "Text1"}},
      {ApplyMode::Setup, "Listen 88\r\n", "P", {"ports", "disabled", "Can't use.", "enabled"}},
      {ApplyMode::Change, "Listen P\r\n", "0P ", {"ports", "disabled", "Not change.", "enabled"}},
      {ApplyMode::Setup, "Listen 88\r\n", "L", {"ports", "disabled", "Can't use.", "enabled"}},
  };
  const TestSocket used(AF_INET, SOCK_DGRAM);  // listed, but not listening
  const std::map<std::string, std::string> port{{"P", std::to_string(used.port())}};
  for (const FirstCase& c : cases) {
    SCOPED_TRACE(std::string(c.config ? c.config : "none") + ", typed " + (c.typed ? c.typed : "nothing"));
    const TestTree server;
    const std::string config = c.config ? Filled(c.config, port) : "";
    std::filesystem::remove(server.tree.configFile);
    if (c.config && *c.config == '/') std::filesystem::create_symlink(c.config, server.tree.configFile);
    if (c.config && *c.config != '/') WriteFile(server.tree.configFile, config);
    RecordingView view;
    PortController controller(c.mode, view, server.tree);
    TestSocket late(AF_INET, SOCK_STREAM);
    try {
      controller.Start();
      view.text =
          c.typed ? Filled(c.typed, {{"P", port.at("P")}, {"L", std::to_string(late.Listen().port())}}) : view.text;
      if (c.typed) controller.RequestChange();
    } catch (const StepError& error) {
      view.calls.push_back(error.heading());
    }
    if (!c.typed) view.calls.push_back(view.text);
    EXPECT_EQ(view.calls, c.calls);
    EXPECT_NE(std::find(view.shown.begin(), view.shown.end(), port.at("P")), view.shown.end());
    if (config.find('/') != 0) {
      EXPECT_EQ(ReadFileIfAny(server.tree.configFile), config);
    }
    EXPECT_EQ(server.Log(), "");
  }
}

struct ChangeCase {
  const char* name;
  ApplyMode mode;
  const char* listen;  // the lines in place of the tree's Listen line
  const char* shell;   // bin/httpd's lines before apache2
  // The server: "stopped", "running" on 127.0.0.1:OLD as laid out, or "busy": running with slow clients.
  std::string before;
  const char* second;  // another server's Listen, running from the start unless the shell starts it; "": none
  const char* runs;    // bin/httpd's log afterwards ("*": the file tested)
  const char* says;    // the error ("*": any text); none: the change landed
  const char* serves;  // the ports that serve the page afterwards
};

// "OLD", "NEW" and "OTHER" stand for free ports ("SAME" for OLD where the change keeps it), "SERVER" for the
// quoted bin/httpd, "SECOND" for the other server's tree.
const ChangeCase kChanges[] = {
    {"slow_clients", ApplyMode::Change, "Listen 127.0.0.1:OLD http", "", "busy", "", "-t -f *\n-k stop\n-k start\n", "",
     "NEW"},
    {"setup_with_its_install_refused", ApplyMode::Setup, "Listen OLD", "", "stopped", "",
     "-t -f *\n-k install\n-k start\n", "", "NEW"},
    // The test reads the new file where it waits, not httpd.conf.
    {"refused_by_the_servers_test", ApplyMode::Change, "Listen OLD\r\nBogus x",
     "[ \"$1\" != -t ] || grep -o \"^Listen [0-9]*\" \"${0%/bin/*}/conf/httpd.conf\"", "running", "", "-t -f *\n",
     "SERVER -t -f * ended with exit code 1. Its output began:\n    Listen OLD\n    AH00526: Syntax error on line 5 "
     "of *:\n    Invalid command 'Bogus', *\n\nhttpd.conf and the server were left as they were.",
     "OLD"},
    {"a_start_failing_after_the_test", ApplyMode::Change, "Listen 127.0.0.1:OTHER\r\nListen OLD", "", "running", "",
     "-t -f *\n-k stop\n-k start\n-k start\n",
     "SERVER -k start ended with exit code 1. Its output began:\n    (98)Address already in use: AH00072: make_sock: "
     "could not bind to address *\n\nhttpd.conf was put back as it was. The server started again: port OLD is back.",
     "OLD OTHER"},
    // Another server takes the new port as the start finds the server still running.
    {"setup_while_running", ApplyMode::Setup, "Listen OLD",
     "[ \"$*\" != \"-k start\" ] || { \"SECOND/bin/apache\" -k start; until [ -s \"SECOND/logs/httpd.pid\" ]; do "
     "sleep 0.01; done; }",
     "running", "NEW", "-t -f *\n-k install\n-k start\n",
     "SERVER -k start ended with exit code 0, but the server did not listen on port NEW within 5 s. Its output "
     "began:\n    httpd (pid *) already running\n\nhttpd.conf was put back as it was. The server kept running on "
     "port OLD.",
     "OLD NEW"},
    // The server is its process, whatever holds its port numbers elsewhere and whatever the file says now.
    {"moving_off_a_port_another_server_holds", ApplyMode::Change, "Listen OLD", "", "stopped", "OLD",
     "-t -f *\n-k stop\n-k start\n", "", "OLD NEW"},
    {"another_server_on_the_old_port_elsewhere", ApplyMode::Change, "Listen 127.0.0.1:OLD", "", "running",
     "127.0.0.2:OLD", "-t -f *\n-k stop\n-k start\n", "", "NEW"},
    {"a_port_the_file_names_by_a_variable", ApplyMode::Change, "Define PORT SAME\r\nListen ${PORT}", "", "busy", "",
     "-t -f *\n-k stop\n-k start\n", "", "NEW"},
    {"a_file_edited_since_the_start", ApplyMode::Change, "Listen OTHER", "", "running", "",
     "-t -f *\n-k stop\n-k start\n", "", "NEW"},
    // Back only where the server listened before.
    {"a_start_failing_with_the_file_edited_since", ApplyMode::Change, "Listen OTHER",
     "[ \"$*\" != \"-k start\" ] || [ -e \"$0.once\" ] || { touch \"$0.once\"; exit 1; }", "running", "",
     "-t -f *\n-k stop\n-k start\n-k start\n",
     "SERVER -k start ended with exit code 1. It wrote nothing.\n\nhttpd.conf was put back as it was. The server was "
     "started again, but does not listen on port OLD: SERVER -k start ended with exit code 0, but the server did not "
     "listen on port OLD within 5 s. It wrote nothing.",
     "OTHER"},
    {"a_port_taken_during_the_stop", ApplyMode::Change, "Listen OLD",
     "[ \"$*\" != \"-k stop\" ] || { \"SECOND/bin/apache\" -k start; until [ -s \"SECOND/logs/httpd.pid\" ]; do "
     "sleep 0.01; done; }",
     "running", "NEW", "-t -f *\n-k stop\n-k start\n",
     "Another program took port NEW during the change, so the server was not started on it.\n\nhttpd.conf was put "
     "back as it was. The server started again: port OLD is back.",
     "OLD NEW"},
    {"a_late_failure", ApplyMode::Change, "Listen OLD", "exit 0", "stopped", "", "-t -f *\n-k stop\n-k start\n",
     "SERVER -k start ended with exit code 0, but the server did not listen on port NEW within 5 s. It wrote "
     "nothing.\n\nhttpd.conf was put back as it was. The server was not running before the change and was left "
     "stopped.",
     ""},
    {"a_stop_that_does_not_find_the_server", ApplyMode::Change, "Listen OLD",
     "[ \"$*\" != \"-k stop\" ] || { echo \"httpd (no pid file) not running\"; exit 1; }", "running", "",
     "-t -f *\n-k stop\n",
     "SERVER -k stop ended with exit code 1, but the server (process *) was still running 5 s later. Its output "
     "began:\n    httpd (no pid file) not running\n\nhttpd.conf was put back as it was. The server kept running on "
     "port OLD.",
     "OLD"},
};

// Whether the server gives its page there to a GET.
bool Serves(const std::string& port) {
  try {
    TestSocket client(AF_INET, SOCK_STREAM);
    return client.ConnectTo(std::stoi(port)).Send("GET / HTTP/1.0\r\n\r\n").Receive().rfind("HTTP/1.1 200 OK", 0) == 0;
  } catch (const std::runtime_error&) {
    return false;
  }
}

class Change : public testing::TestWithParam<ChangeCase> {};

// A change lands once the server listens on the new port, written as typed without blanks, keeping each Listen
// line's address and protocol; one that fails puts httpd.conf back byte for byte and says where the server is.
TEST_P(Change, EndsWhereTheServerListens) {
  const ChangeCase& c = GetParam();
  if (!std::filesystem::exists("/usr/sbin/apache2")) GTEST_SKIP() << "Debian's apache2 is not installed";
  const std::string old = FreePort(), fresh = FreePort(), other = FreePort();
  const std::map<std::string, std::string> ports{{"OLD", old}, {"NEW", fresh}, {"OTHER", other}, {"SAME", old}};
  std::optional<TestTree> second;
  if (*c.second) second.emplace(Filled(c.second, ports));
  const TestTree server("127.0.0.1:" + old, Filled(c.shell, {{"SECOND", second ? second->dir.path().string() : ""}}));
  std::string config = server.Config();
  config.replace(config.find("Listen 127.0.0.1:" + old), 17 + old.size(), c.listen);
  const std::string before = Filled(config, ports);
  // A running server is started from the tree as laid out, the second one unless the shell starts it; each is
  // ready once it has written its pid file.
  const auto start = [](const TestTree& tree) {
    RunHiddenAndWait({tree.Apache(), {"-k", "start"}});
    for (int tries = 0; tries < 500 && ReadFileIfAny(tree.dir / "logs/httpd.pid").empty(); ++tries)
      std::this_thread::sleep_for(kWaitTick);
  };
  if (c.before != "stopped") start(server);
  if (second && !std::strstr(c.shell, "SECOND")) start(*second);
  std::list<TestSocket> clients;  // each having sent half a request
  for (int i = 0; c.before == "busy" && i < 3; ++i)
    clients.emplace_back(AF_INET, SOCK_STREAM).ConnectTo(std::stoi(old)).Send("GET / HTTP/1.1\r\n");
  WriteFile(server.tree.configFile, before);
  const int original = open(server.tree.configFile.c_str(), O_RDONLY | O_CLOEXEC);  // its inode stays its own
  const std::vector<std::string> names = FileNames(server.dir / "conf");
  ServerTree tree = server.tree;
  tree.portWait = std::chrono::seconds(clients.empty() ? 5 : 30);
  tree.commandLimit = std::chrono::seconds(5);
  RecordingView view;
  PortController controller(c.mode, view, tree);
  controller.Start();
  view.text = " 0" + fresh + " ";
  view.calls.clear();
  std::string said;
  try {
    controller.RequestChange();
  } catch (const StepError& error) {
    view.calls.push_back(error.heading());
    said = error.what();
  }

  EXPECT_TRUE(Matches(said, Filled(c.says, {{"OLD", old}, {"NEW", fresh}, {"SERVER", '"' + tree.serverProgram + '"'}})))
      << said;
  EXPECT_EQ(view.calls, (Calls{"disabled", *c.says ? "Could not change the port." : "closed"}));
  EXPECT_EQ(controller.applied(), !*c.says);
  EXPECT_TRUE(Matches(server.Log(), c.runs)) << server.Log();
  EXPECT_EQ(
      server.Config(),
      *c.says
          ? before
          : Filled(
                config,
                {{"OLD", "0" + fresh}, {"OTHER", "0" + fresh}, {"SAME", old}, {"${PORT}", "0" + fresh}, {"\r", ""}}));
  struct stat kept, now;  // a change undone brings back the very file, and leaves nothing beside it
  ASSERT_EQ(fstat(original, &kept) | stat(server.tree.configFile.c_str(), &now) | close(original), 0);
  EXPECT_EQ(now.st_ino == kept.st_ino, *c.says != '\0');
  EXPECT_EQ(FileNames(server.dir / "conf"), names);
  std::string serving;
  for (const auto& [name, port] : {std::pair{"OLD", old}, {"NEW", fresh}, {"OTHER", other}})
    if (Serves(port)) serving += (serving.empty() ? "" : " ") + std::string(name);
  EXPECT_EQ(serving, c.serves);
  EXPECT_GT(view.keptAlive, 0);
}

INSTANTIATE_TEST_SUITE_P(Rows, Change, testing::ValuesIn(kChanges), [](const auto& row) { return row.param.name; });

}  // namespace
