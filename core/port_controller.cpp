#include "port_controller.h"

#include <algorithm>
#include <exception>
#include <thread>
#include <utility>

#include "listen_file.h"
#include "port_checks.h"
#include "port_probe.h"
#include "port_text.h"

namespace {

constexpr const char* kChangeHeading = "Could not change the port.";

// How often the socket table is asked while the server lets go of a port or
// takes one: the wait for the old port is time no port answers. One look
// costs some 20 us, so this keeps a wait's cost under a tenth of a core.
constexpr std::chrono::microseconds kPortPoll{250};

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

// All a failed command wrote, when the error carries it.
std::string OutputOf(const std::exception& error) {
  const auto* step = dynamic_cast<const StepError*>(&error);
  return step ? step->output() : std::string();
}

std::string PortName(int port) { return "port " + std::to_string(port); }

// How a start that ended well failed all the same.
std::string NothingListened(int port, std::chrono::milliseconds wait) {
  return ", but nothing listened on " + PortName(port) + " within " + DescribeSpan(wait);
}

}  // namespace

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
  try {
    TestFile(file);
    file.Place();
    // How the first command ended says little: "already installed" and "not
    // running" are expected there, and a stop may return while the server
    // still shuts down. Only the sockets tell.
    const Command first = FirstCommand(mode_, tree_.serverProgram);
    Run(first);
    // A start would find the old server still running and end well without
    // starting anything.
    if (mode_ == ApplyMode::Change)
      if (const std::optional<int> held = AwaitPorts(previousPorts_, false))
        throw std::runtime_error("The server had not let go of " + PortName(*held) + " " +
                                 DescribeSpan(tree_.portWait) + " after " + DescribeCommand(first) +
                                 " and may still be stopping, so the port may go quiet when it ends.");
    const Command start = StartCommand(tree_.serverProgram);
    const CommandResult started = RunToSuccess(start);
    // A start may end well while no server listens: the server it left
    // failed later.
    if (AwaitPorts({port}, true))
      throw StepError(kChangeHeading, DescribeFailure(start, started, NothingListened(port, tree_.portWait)),
                      started.output);
  } catch (const std::exception& failure) {
    throw StepError(kChangeHeading, failure.what() + ("\n\n" + GoBack(file)), OutputOf(failure));
  }
  file.Commit();
  applied_ = true;
  view_.Close();
}

void PortController::TestFile(const FileReplacement& file) const {
  RunToSuccess({tree_.serverProgram, {"-t", "-f", file.temporaryPath()}});
}

CommandResult PortController::Run(const Command& command) const {
  return RunHiddenAndWait(command, keepAlive_, tree_.commandLimit);
}

CommandResult PortController::RunToSuccess(const Command& command) const {
  CommandResult result = Run(command);
  if (result.exitCode != 0) throw StepError(kChangeHeading, DescribeFailure(command, result), result.output);
  return result;
}

std::optional<int> PortController::AwaitPorts(const std::vector<int>& ports, bool listening) const {
  const auto deadline = std::chrono::steady_clock::now() + tree_.portWait;
  auto keepAlive = std::chrono::steady_clock::now() + kWaitTick;
  for (;;) {
    const auto other =
        std::find_if(ports.begin(), ports.end(), [&](int port) { return IsPortListening(port) != listening; });
    if (other == ports.end()) return std::nullopt;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return *other;
    // The window is kept alive at its own pace: the ports are asked far more
    // often than it needs.
    if (now >= keepAlive) {
      view_.KeepAlive();
      keepAlive = now + kWaitTick;
    }
    std::this_thread::sleep_for(kPortPoll);
  }
}

std::string PortController::GoBack(FileReplacement& file) const {
  if (!file.placed()) return "httpd.conf and the server were left as they were.";
  try {
    file.PutBack();
  } catch (const std::exception& error) {
    return "httpd.conf could not be put back as it was, so it holds the new port: " + std::string(error.what());
  }
  return "httpd.conf was put back as it was" + StartAgain();
}

std::string PortController::StartAgain() const {
  if (previousPorts_.empty()) return "; it names no port a server can listen on, so the server was not started again.";
  const std::string back = PortName(previousPorts_.back());
  std::string failure;
  try {
    // A port that still listens is not the server coming back: the old one
    // may still be stopping, or another program holds it.
    for (const int port : previousPorts_)
      if (IsPortListening(port)) return "; " + PortName(port) + " still listened, so the server was not started again.";
    const Command start = StartCommand(tree_.serverProgram);
    const CommandResult started = Run(start);
    if (started.exitCode != 0)
      failure = DescribeFailure(start, started);
    else if (const std::optional<int> silent = AwaitPorts(previousPorts_, true))
      failure = DescribeFailure(start, started, NothingListened(*silent, tree_.portWait));
    else
      return " and the server started again: " + back + " is back.";
  } catch (const std::exception& error) {
    failure = error.what();
  }
  return ", but " + back + " is not back: " + failure;
}
