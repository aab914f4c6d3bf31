#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "apply_mode.h"
#include "server_tree.h"

struct Command;

// The window as the controller sees it.
class PortView {
 public:
  virtual std::string GetPortText() = 0;
  virtual void SetPortText(const std::string& text) = 0;
  virtual void AddUsedPort(const std::string& port) = 0;
  virtual void SetApplyEnabled(bool enabled) = 0;
  virtual void ShowMessage(const std::string& text) = 0;
  virtual void Close() = 0;

 protected:
  ~PortView() = default;
};

// An error that ends the program: the heading says which step failed ("Could
// not read the ports.", ...), what() the system's account, naming the path or
// command.
class StepError : public std::runtime_error {
 public:
  StepError(std::string heading, const std::string& detail)
      : std::runtime_error(detail), heading_(std::move(heading)) {}
  const std::string& heading() const { return heading_; }

 private:
  std::string heading_;
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
  // True once a change request has written the port and the server has
  // started on it.
  bool applied() const { return applied_; }

 private:
  void Refuse(const char* message);
  // Writes the port and runs the mode's commands. When the server does not
  // start on the new port, the file is put back and the server started again.
  void Apply(const std::string& portText);
  // Puts the file back as it was before the change, starts the server on it
  // and says how that went.
  std::string PutBack(const std::string& previous, const Command& start) const;

  ApplyMode mode_;
  PortView& view_;
  ServerTree tree_;
  std::string systemDirectory_;
  std::vector<std::string> usedPorts_;
  std::optional<std::string> configuredPort_;
  bool portInUse_ = false;
  bool applied_ = false;
};
