#include "port_controller.h"

#include <exception>
#include <optional>
#include <utility>

#include "file_io.h"
#include "hidden_command.h"
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

}  // namespace

PortController::PortController(ApplyMode mode, PortView& view, ServerTree tree)
    : mode_(mode), view_(view), tree_(std::move(tree)) {}

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
  const std::vector<Command> commands = ServiceCommands(mode_, tree_.serverProgram);
  const Command& start = commands.back();
  std::optional<std::string> failure;
  try {
    // How the first command ended says little: "already installed" and "not
    // running" are expected there. The start tells whether the change took.
    RunHiddenAndWait(commands.front());
    const CommandResult started = RunHiddenAndWait(start);
    if (started.exitCode != 0) failure = DescribeFailure(start, started);
  } catch (const std::exception& error) {
    failure = error.what();
  }
  if (failure) throw StepError(kChangeHeading, *failure + "\n\n" + PutBack(previous, start));
  applied_ = true;
  view_.Close();
}

std::string PortController::PutBack(const std::string& previous, const Command& start) const {
  const std::string port = configuredPort_ ? "port " + *configuredPort_ : "the previous port";
  try {
    ReplaceFileContents(tree_.configFile, previous);
  } catch (const std::exception& error) {
    return "httpd.conf could not be put back as it was, so it holds the new port and the server is not on " + port +
           ": " + error.what();
  }
  std::string failure;
  try {
    const CommandResult started = RunHiddenAndWait(start);
    if (started.exitCode == 0)
      return "httpd.conf was put back as it was and the server started again: " + port + " is back.";
    failure = DescribeFailure(start, started);
  } catch (const std::exception& error) {
    failure = error.what();
  }
  return "httpd.conf was put back as it was, but the server did not start again, so " + port +
         " is not back: " + failure;
}
