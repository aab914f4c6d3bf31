#pragma once

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "apply_mode.h"
#include "file_io.h"
#include "hidden_command.h"
#include "server_process.h"
#include "server_tree.h"

// The window as the controller sees it.
class PortView {
 public:
  virtual std::string GetPortText() = 0;
  virtual void SetPortText(const std::string& text) = 0;
  virtual void AddUsedPort(const std::string& port) = 0;
  virtual void SetApplyEnabled(bool enabled) = 0;
  virtual void ShowMessage(const std::string& text) = 0;
  virtual void Close() = 0;
  // Called over and over while the controller waits for a command or the
  // server's sockets: the window keeps painting and answering the system,
  // ignores the user's input and does not close.
  virtual void KeepAlive() = 0;

 protected:
  ~PortView() = default;
};

// An error that ends the program: the heading says which step failed ("Could
// not read the ports.", ...), what() the system's account, naming the path or
// command; output() all that a failed command wrote, as far as it was kept,
// for those who want more than the first lines.
class StepError : public std::runtime_error {
 public:
  StepError(std::string heading, const std::string& detail, std::string output = {})
      : std::runtime_error(detail), heading_(std::move(heading)), output_(std::move(output)) {}
  const std::string& heading() const { return heading_; }
  const std::string& output() const { return output_; }

 private:
  std::string heading_;
  std::string output_;
};

// All a failed command wrote, when the error carries it.
inline std::string OutputOf(const std::exception& error) {
  const auto* step = dynamic_cast<const StepError*>(&error);
  return step ? step->output() : std::string();
}

// What the way back from a failed change did, and where it left the server.
struct WayBack {
  // False: the change failed before httpd.conf was replaced, and nothing was
  // done to the server.
  bool replaced = false;
  // Why httpd.conf could not be put back; empty when it was.
  std::string putBackError;
  // Where the original httpd.conf is kept when it was not put back.
  std::string originalPath;
  // The server ran when the change began, listening on these ports.
  bool ranBefore = false;
  std::vector<int> ports;
  // Its process of before never ended.
  bool keptRunning = false;
  // It was started again: how that start went, when it failed.
  bool startedAgain = false;
  std::string startFailure;
  // A server's process runs now; of the ports, one where it does not listen.
  bool runsNow = false;
  std::optional<int> silentPort;
};

// The way back in plain sentences: what became of httpd.conf and the server.
std::string DescribeWayBack(const WayBack& back);

// The logic behind one window: loads the used ports and the configured port,
// then answers the apply button. Errors from files and commands are thrown as
// StepError.
class PortController {
 public:
  PortController(ApplyMode mode, PortView& view, ServerTree tree = InstalledServerTree());

  void Start();
  void RequestChange();

  const std::vector<int>& usedPorts() const { return usedPorts_; }
  // True once a change request has written the port and the server listens
  // on it.
  bool applied() const { return applied_; }

 private:
  void Refuse(const std::string& message);
  // Tests the new file, puts it in place and runs the mode's commands; when
  // a step fails, goes back and throws the step's StepError with how that
  // went.
  void Apply(int port, const std::string& portText);
  // Has the server test the new version where it waits, and say where its
  // pid file is; a refusal is the step's error.
  std::string TestFile(const FileReplacement& file) const;
  // Runs a command while the window is kept alive; one that cannot be run
  // or outlasts the tree's limit is the step's error.
  CommandResult Run(const Command& command) const;
  // Runs the command and makes a non-zero exit code the step's error.
  CommandResult RunToSuccess(const Command& command) const;
  // Asks until the condition holds, at most the tree's port wait, keeping the
  // window alive; false when the wait ran out.
  bool Await(const std::function<bool()>& condition) const;
  // Where the server's process listens; where the system does not say whose
  // a socket is, those of the unnamed ports that listen.
  std::vector<int> PortsOf(const ServerProcess& server, const std::vector<int>& unnamed) const;
  // Waits until the process the pid file names listens on every port; the
  // first port where it did not when the wait ran out, or none.
  std::optional<int> AwaitListening(const std::string& pidFile, const std::vector<int>& ports) const;
  // The one way back from a failed step: httpd.conf as it was before the
  // change and, when it ran before, the server started on it again.
  WayBack GoBack(FileReplacement& file, const std::string& pidFile, const std::optional<ServerProcess>& before,
                 const std::vector<int>& ports) const;

  ApplyMode mode_;
  PortView& view_;
  ServerTree tree_;
  std::function<void()> keepAlive_;
  std::string systemDirectory_;
  std::vector<int> usedPorts_;
  // The port of the last Listen line at start-up, as the port box shows it.
  std::optional<std::string> configuredPort_;
  // The port of every Listen line at start-up that a server can listen on:
  // where the server listens when the system does not say whose a socket is.
  std::vector<int> previousPorts_;
  bool applied_ = false;
};
