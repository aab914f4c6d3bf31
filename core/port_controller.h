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
  // Has the server test the new version where it waits; a refusal is the
  // step's error.
  void TestFile(const FileReplacement& file) const;
  // Runs a command while the window is kept alive; one that cannot be run
  // or outlasts the tree's limit is the step's error.
  CommandResult Run(const Command& command) const;
  // Runs the command and makes a non-zero exit code the step's error.
  CommandResult RunToSuccess(const Command& command) const;
  // Waits until each port is listening, or none is; the first port that was
  // not yet so when the tree's port wait ran out, or none.
  std::optional<int> AwaitPorts(const std::vector<int>& ports, bool listening) const;
  // The one way back from a failed step: httpd.conf as it was before the
  // change and, when that is safe, the server started on it again; says how
  // that went.
  std::string GoBack(FileReplacement& file) const;
  // Starts the server on the file put back; says whether the previous port
  // is back.
  std::string StartAgain() const;

  ApplyMode mode_;
  PortView& view_;
  ServerTree tree_;
  std::function<void()> keepAlive_;
  std::string systemDirectory_;
  std::vector<int> usedPorts_;
  // The port of the last Listen line at start-up, as the port box shows it.
  std::optional<std::string> configuredPort_;
  // The port of every Listen line at start-up that a server can listen on:
  // what the old server lets go of after a stop.
  std::vector<int> previousPorts_;
  bool applied_ = false;
};
