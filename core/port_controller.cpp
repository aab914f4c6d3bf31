#include "port_controller.h"

#include <algorithm>
#include <exception>
#include <iterator>
#include <thread>
#include <utility>

#include "listen_file.h"
#include "port_checks.h"
#include "port_probe.h"
#include "port_text.h"

namespace {

constexpr const char* kChangeHeading = "Could not change the port.";

// How often the system is asked while the old server ends or the new one
// takes its port: the wait for the old server's end is time no port answers.
// One look costs some 20 us, so this keeps a wait's cost under a tenth of a
// core.
constexpr std::chrono::microseconds kPoll{250};

// The mode's first service command, run after httpd.conf is replaced.
Command FirstCommand(ApplyMode mode, const std::string& program) {
  return {program, {"-k", mode == ApplyMode::Setup ? "install" : "stop"}};
}

Command StartCommand(const std::string& program) { return {program, {"-k", "start"}}; }

// Runs one step of the controller; an error it meets says which step failed.
template <typename Step>
auto AsStep(const char* heading, Step step) -> decltype(step()) {
  try {
    return step();
  } catch (const StepError&) {
    throw;
  } catch (const std::exception& error) {
    throw StepError(heading, error.what());
  }
}

std::string PortName(int port) { return "port " + std::to_string(port); }

// "port 80", "ports 80 and 81", "ports 80, 81 and 82".
std::string PortsName(const std::vector<int>& ports) {
  if (ports.size() == 1) return PortName(ports.front());
  std::string names = "ports";
  for (size_t i = 0; i < ports.size(); ++i)
    names += (i == 0 ? " " : i + 1 == ports.size() ? " and " : ", ") + std::to_string(ports[i]);
  return names;
}

// How a start that ended well failed all the same.
std::string NotListening(int port, std::chrono::milliseconds wait) {
  return ", but the server did not listen on " + PortName(port) + " within " + DescribeSpan(wait);
}

// Where the way back left the server.
std::string DescribeServer(const WayBack& back) {
  if (!back.ranBefore)
    return back.runsNow ? "The server was not running before the change, but the one the change started still runs."
                        : "The server was not running before the change and was left stopped.";
  if (back.keptRunning && back.silentPort)
    return "The server kept running, but does not listen on " + PortName(*back.silentPort) + ".";
  if (back.keptRunning)
    return "The server kept running" + (back.ports.empty() ? "." : " on " + PortsName(back.ports) + ".");
  if (!back.startedAgain) return "The server was left stopped.";
  if (back.silentPort)
    return "The server was started again, but does not listen on " + PortName(*back.silentPort) + ": " +
           back.startFailure;
  if (!back.startFailure.empty()) return "The server could not be started again: " + back.startFailure;
  if (back.ports.empty()) return "The server started again.";
  return "The server started again: " + PortsName(back.ports) + (back.ports.size() == 1 ? " is" : " are") + " back.";
}

}  // namespace

std::string DescribeWayBack(const WayBack& back) {
  if (!back.replaced) return "httpd.conf and the server were left as they were.";
  if (!back.putBackError.empty())
    return "httpd.conf could not be put back, so it holds the new port: " + back.putBackError +
           "\nThe original is kept as \"" + back.originalPath + "\": renamed to httpd.conf, it restores it. " +
           DescribeServer(back);
  return "httpd.conf was put back as it was. " + DescribeServer(back);
}

PortController::PortController(ApplyMode mode, PortView& view, ServerTree tree)
    : mode_(mode), view_(view), tree_(std::move(tree)), keepAlive_([this] { view_.KeepAlive(); }) {}

void PortController::Start() {
  AsStep("Could not read the ports.", [this] {
    systemDirectory_ = SystemDirectory();
    usedPorts_ = ProbeUsedPorts(systemDirectory_, tree_.commandLimit, keepAlive_);
    for (const int port : usedPorts_) view_.AddUsedPort(std::to_string(port));
  });
  if (!IsFileExit(tree_.configFile)) {
    view_.ShowMessage("Can't find httpd.conf!");
    view_.Close();
    return;
  }
  AsStep("Could not read httpd.conf.", [this] {
    ReadListenPort(tree_.configFile, [this](const std::string& port) {
      view_.SetPortText(port);
      configuredPort_ = port;
      if (const std::optional<int> number = IsListenablePort(port)) previousPorts_.push_back(*number);
    });
  });
}

void PortController::RequestChange() {
  const std::string portText = view_.GetPortText();
  view_.SetApplyEnabled(false);
  if (const std::optional<std::string> refusal = RefusalFor(mode_, portText, configuredPort_, usedPorts_))
    return Refuse(*refusal);
  // Refused otherwise: the port is one the server can listen on.
  Apply(*IsListenablePort(portText), std::string(TrimBlanks(portText)));
}

void PortController::Refuse(const std::string& message) {
  view_.ShowMessage(message);
  view_.SetApplyEnabled(true);
}

void PortController::Apply(int port, const std::string& portText) {
  // Taken since the list was read, or on an address the list leaves out.
  if (AsStep(kChangeHeading, [&] { return IsPortListening(port); })) return Refuse("Can't use.");
  FileReplacement file = AsStep(kChangeHeading, [&] { return RewriteListenLines(tree_.configFile, portText); });
  std::string pidFile = DefaultPidFile(tree_.configFile);
  // The server as the change found it, learnt before anything is stopped: a
  // port another program holds is never taken for the server's.
  std::optional<ServerProcess> server;
  std::vector<int> serverPorts;
  try {
    pidFile = TestFile(file);
    server = ServerProcess::Find(pidFile);
    if (server) serverPorts = PortsOf(*server, previousPorts_);
    file.Place();
    // How the first command ended says little: "already installed" and "not
    // running" are expected there, and a stop returns while the server still
    // shuts down. A start would find the old server still running and end
    // well without starting anything.
    const Command first = FirstCommand(mode_, tree_.serverProgram);
    const CommandResult stopped = Run(first);
    if (mode_ == ApplyMode::Change && server && !Await([&] { return server->Ended(); }))
      throw StepError(kChangeHeading,
                      DescribeFailure(first, stopped,
                                      ", but the server (process " + std::to_string(server->pid()) +
                                          ") was still running " + DescribeSpan(tree_.portWait) + " later"),
                      stopped.output);
    // The server cannot listen where another program already does; from here
    // on, a socket there whose owner the system does not name is the server's.
    if (IsPortListening(port))
      throw std::runtime_error("Another program took " + PortName(port) +
                               " during the change, so the server was not started on it.");
    const Command start = StartCommand(tree_.serverProgram);
    const CommandResult started = RunToSuccess(start);
    // A start may end well while no server listens: the server it left
    // failed later, or was already running.
    if (AwaitListening(pidFile, {port}))
      throw StepError(kChangeHeading, DescribeFailure(start, started, NotListening(port, tree_.portWait)),
                      started.output);
  } catch (const std::exception& failure) {
    throw StepError(kChangeHeading,
                    failure.what() + ("\n\n" + DescribeWayBack(GoBack(file, pidFile, server, serverPorts))),
                    OutputOf(failure));
  }
  file.Commit();
  applied_ = true;
  view_.Close();
}

std::string PortController::TestFile(const FileReplacement& file) const {
  const CommandResult tested =
      RunToSuccess({tree_.serverProgram, {"-t", "-f", file.temporaryPath(), "-D", "DUMP_RUN_CFG"}});
  return ReportedPidFile(tested.output, DefaultPidFile(tree_.configFile));
}

CommandResult PortController::Run(const Command& command) const {
  return RunHiddenAndWait(command, keepAlive_, tree_.commandLimit);
}

CommandResult PortController::RunToSuccess(const Command& command) const {
  CommandResult result = Run(command);
  if (result.exitCode != 0) throw StepError(kChangeHeading, DescribeFailure(command, result), result.output);
  return result;
}

bool PortController::Await(const std::function<bool()>& condition) const {
  const auto deadline = std::chrono::steady_clock::now() + tree_.portWait;
  auto keepAlive = std::chrono::steady_clock::now() + kWaitTick;
  for (;;) {
    if (condition()) return true;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    // The window is kept alive at its own pace: the system is asked far more
    // often than it needs.
    if (now >= keepAlive) {
      view_.KeepAlive();
      keepAlive = now + kWaitTick;
    }
    std::this_thread::sleep_for(kPoll);
  }
}

std::vector<int> PortController::PortsOf(const ServerProcess& server, const std::vector<int>& unnamed) const {
  if (std::optional<std::vector<int>> ports = server.ListeningPorts()) return std::move(*ports);
  std::vector<int> listening;
  std::copy_if(unnamed.begin(), unnamed.end(), std::back_inserter(listening), IsPortListening);
  return listening;
}

std::optional<int> PortController::AwaitListening(const std::string& pidFile, const std::vector<int>& ports) const {
  std::optional<int> silent;
  Await([&] {
    // Read anew each time: the server writes its pid file as it starts.
    const std::optional<ServerProcess> server = ServerProcess::Find(pidFile);
    const std::vector<int> listening = server ? PortsOf(*server, ports) : std::vector<int>();
    const auto first = std::find_if(ports.begin(), ports.end(), [&](int port) {
      return std::find(listening.begin(), listening.end(), port) == listening.end();
    });
    silent = first == ports.end() ? std::nullopt : std::optional<int>(*first);
    return !silent;
  });
  return silent;
}

WayBack PortController::GoBack(FileReplacement& file, const std::string& pidFile,
                               const std::optional<ServerProcess>& before, const std::vector<int>& ports) const {
  WayBack back;
  back.replaced = file.placed();
  back.ranBefore = before.has_value();
  back.ports = ports;
  if (!back.replaced) return back;
  try {
    file.PutBack();
  } catch (const std::exception& error) {
    back.putBackError = error.what();
    back.originalPath = file.keptPath();
  }
  try {
    back.keptRunning = before && !before->Ended();
    // Only a server that ran before is started again, and only on the file
    // as it was.
    if (back.keptRunning) {
      const std::vector<int> listening = PortsOf(*before, ports);
      for (const int port : ports)
        if (!back.silentPort && std::find(listening.begin(), listening.end(), port) == listening.end())
          back.silentPort = port;
    } else if (back.ranBefore && back.putBackError.empty()) {
      back.startedAgain = true;
      const Command start = StartCommand(tree_.serverProgram);
      const CommandResult started = Run(start);
      if (started.exitCode != 0)
        back.startFailure = DescribeFailure(start, started);
      else if ((back.silentPort = AwaitListening(pidFile, ports)))
        back.startFailure = DescribeFailure(start, started, NotListening(*back.silentPort, tree_.portWait));
    }
    back.runsNow = ServerProcess::Find(pidFile).has_value();
  } catch (const std::exception& error) {
    back.startFailure = error.what();
  }
  return back;
}
