#pragma once

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "apply_mode.h"
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

  const std::vector<std::string>& usedPorts() const { return usedPorts_; }
  // True once a change request has written the port and the server listens
  // on it.
  bool applied() const { return applied_; }

 private:
  // What went wrong with a command: the text for the box, and all it wrote.
  struct Failure {
    std::string text;
    std::string output;
  };

  void Refuse(const char* message);
  // Writes the port, has the server test the file and runs the mode's
  // commands. When the server does not listen on the new port, the file is
  // put back and the server started again.
  void Apply(const std::string& portText);
  // Runs the server's test of the file as it now is; when it fails, puts
  // the file back and ends the step before any service command runs.
  void TestConfiguration(const std::string& previous);
  // Stops or installs, starts, and waits for the server to listen on the
  // port; nothing when it does.
  std::optional<Failure> MoveServer(int port);
  // Runs a command while the window is kept alive.
  CommandResult Run(const Command& command) const;
  // Waits until each port is listening, or none is; false when the tree's
  // port wait ran out first.
  bool AwaitPorts(const std::vector<int>& ports, bool listening) const;
  // Puts the file back as it was before the change, starts the server on it
  // and says how that went.
  std::string PutBack(const std::string& previous) const;

  ApplyMode mode_;
  PortView& view_;
  ServerTree tree_;
  std::function<void()> keepAlive_;
  std::string systemDirectory_;
  std::vector<std::string> usedPorts_;
  // The port of the last Listen line at start-up, as the port box shows it.
  std::optional<std::string> configuredPort_;
  // The port of every Listen line at start-up that a server can listen on:
  // what the old server lets go of after a stop.
  std::vector<int> previousPorts_;
  bool portInUse_ = false;
  bool applied_ = false;
};
