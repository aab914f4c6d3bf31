#include "port_controller.h"

#include <algorithm>
#include <exception>
#include <thread>
#include <utility>

#include "file_io.h"
#include "listen_file.h"
#include "port_probe.h"
#include "port_text.h"

namespace {

constexpr const char* kChangeHeading = "Could not change the port.";

// The mode's two service commands, run in this order after the rewrite.
std::vector<Command> ServiceCommands(ApplyMode mode, const std::string& program) {
  const char* first = mode == ApplyMode::Setup ? "install" : "stop";
  return {{program, {"-k", first}}, {program, {"-k", "start"}}};
}

// Runs one step of the controller; an error it meets says which step failed.
template <typename Step>
void AsStep(const char* heading, Step step) {
  try {
    step();
  } catch (const StepError&) {
    throw;
  } catch (const std::exception& error) {
    throw StepError(heading, error.what());
  }
}

// The port as a number, when the text is one a server can listen on; none
// otherwise.
std::vector<int> ListenablePort(const std::optional<std::string>& text) {
  if (!text || !IsListenablePort(*text)) return {};
  return {std::stoi(std::string(TrimBlanks(*text)))};
}

// How a start that ended well failed all the same: ", but nothing listened
// on port 80 within 30 s" (or "250 ms" for a wait of no whole seconds).
std::string NothingListened(const std::string& port, std::chrono::milliseconds wait) {
  const std::string waited =
      wait.count() % 1000 != 0 ? std::to_string(wait.count()) + " ms" : std::to_string(wait.count() / 1000) + " s";
  return ", but nothing listened on " + port + " within " + waited;
}

}  // namespace

PortController::PortController(ApplyMode mode, PortView& view, ServerTree tree)
    : mode_(mode), view_(view), tree_(std::move(tree)), keepAlive_([this] { view_.KeepAlive(); }) {}

void PortController::Start() {
  AsStep("Could not read the ports.", [this] {
    systemDirectory_ = SystemDirectory();
    for (std::string& port : ProbeUsedPorts(systemDirectory_)) {
      view_.AddUsedPort(port);
      usedPorts_.push_back(std::move(port));
    }
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
      for (const int number : ListenablePort(port)) previousPorts_.push_back(number);
    });
  });
}

void PortController::RequestChange() {
  portInUse_ = false;
  const std::string portText = view_.GetPortText();
  // Compared as the server would read the port, so ' 80' or '080' is found
  // when 80 is taken. The whole list is scanned before any other check.
  const std::string requested = PortKey(portText);
  for (const std::string& entry : usedPorts_)
    if (PortKey(entry) == requested) portInUse_ = true;

  view_.SetApplyEnabled(false);
  if (!IsNumber(portText)) return Refuse("Must be number.");
  // Only a port the server accepts may be written; anything else would leave
  // it unable to start.
  if (!IsListenablePort(portText)) return Refuse("Must be 0~65536");
  if (mode_ == ApplyMode::Change && configuredPort_ && PortKey(*configuredPort_) == requested)
    return Refuse("Not change.");
  if (portInUse_) return Refuse("Can't use.");
  Apply(std::string(TrimBlanks(portText)));
}

void PortController::Refuse(const char* message) {
  view_.ShowMessage(message);
  view_.SetApplyEnabled(true);
}

void PortController::Apply(const std::string& portText) {
  std::string previous;
  AsStep(kChangeHeading, [&] { previous = RewriteListenLines(tree_.configFile, portText); });
  TestConfiguration(previous);
  if (const std::optional<Failure> failure = MoveServer(std::stoi(portText)))
    throw StepError(kChangeHeading, failure->text + "\n\n" + PutBack(previous), failure->output);
  applied_ = true;
  view_.Close();
}

void PortController::TestConfiguration(const std::string& previous) {
  const Command test{tree_.serverProgram, {"-t"}};
  Failure failure;
  try {
    const CommandResult tested = Run(test);
    if (tested.exitCode == 0) return;
    failure = {DescribeFailure(test, tested), tested.output};
  } catch (const std::exception& error) {
    failure.text = error.what();
  }
  std::string after = "httpd.conf was put back as it was, and the server was left as it was.";
  try {
    ReplaceFileContents(tree_.configFile, previous);
  } catch (const std::exception& error) {
    after = "httpd.conf could not be put back as it was, so it holds the new port; the server was left as it was: " +
            std::string(error.what());
  }
  throw StepError(kChangeHeading, failure.text + "\n\n" + after, failure.output);
}

std::optional<PortController::Failure> PortController::MoveServer(int port) {
  const std::vector<Command> commands = ServiceCommands(mode_, tree_.serverProgram);
  const Command& start = commands.back();
  try {
    // How the first command ended says little: "already installed" and "not
    // running" are expected there, and a stop may return while the server
    // still shuts down. Only the sockets tell.
    Run(commands.front());
    // The start would meet a server still holding its port and fail.
    if (mode_ == ApplyMode::Change) AwaitPorts(previousPorts_, false);
    const CommandResult started = Run(start);
    if (started.exitCode != 0) return Failure{DescribeFailure(start, started), started.output};
    // A start may end well while no server listens: it found one still
    // running ("already running"), or the server it left failed later.
    if (!AwaitPorts({port}, true)) {
      const std::string outcome = NothingListened("port " + std::to_string(port), tree_.portWait);
      return Failure{DescribeFailure(start, started, outcome), started.output};
    }
    return std::nullopt;
  } catch (const std::exception& error) {
    return Failure{error.what(), {}};
  }
}

CommandResult PortController::Run(const Command& command) const { return RunHiddenAndWait(command, keepAlive_); }

bool PortController::AwaitPorts(const std::vector<int>& ports, bool listening) const {
  const auto deadline = std::chrono::steady_clock::now() + tree_.portWait;
  for (;;) {
    if (std::all_of(ports.begin(), ports.end(), [&](int port) { return IsPortListening(port) == listening; }))
      return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    view_.KeepAlive();
    std::this_thread::sleep_for(kWaitTick);
  }
}

std::string PortController::PutBack(const std::string& previous) const {
  const std::string port = configuredPort_ ? "port " + *configuredPort_ : "the previous port";
  try {
    ReplaceFileContents(tree_.configFile, previous);
  } catch (const std::exception& error) {
    return "httpd.conf could not be put back as it was, so it holds the new port and the server is not on " + port +
           ": " + error.what();
  }
  const Command start = ServiceCommands(mode_, tree_.serverProgram).back();
  std::string failure;
  try {
    const CommandResult started = Run(start);
    // Back only when the server listens there again.
    const std::vector<int> back = ListenablePort(configuredPort_);
    if (started.exitCode != 0)
      failure = DescribeFailure(start, started);
    else if (!back.empty() && AwaitPorts(back, true))
      return "httpd.conf was put back as it was and the server started again: " + port + " is back.";
    else
      failure = DescribeFailure(start, started, NothingListened(port, tree_.portWait));
  } catch (const std::exception& error) {
    failure = error.what();
  }
  return "httpd.conf was put back as it was, but " + port + " is not back: " + failure;
}
