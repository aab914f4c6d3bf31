#pragma once

// The half of a program's window that both toolkits share: its controller,
// what opening the window and pressing its buttons do, the boxes its steps
// show and the code the program ends with. Each toolkit's PortWindow adds the
// controls, built from the layout table, and the hooks below.

#include <functional>
#include <optional>
#include <string>

#include "form_layout.h"
#include "one_copy.h"
#include "port_controller.h"
#include "server_tree.h"
#include "termination_hold.h"

namespace gui {

enum class BoxIcon { None, Error };

class ProgramWindow : public PortView {
 public:
  // Runs the controller's start-up and, unless that ended the program, shows
  // the window with the port box focused and its text selected. Returns the
  // exit code when start-up ended the program, as it does at once, touching
  // nothing, when another copy of the programs is open. Tests call it
  // directly; RunProgram adds the event loop.
  std::optional<int> Open();
  // Opens the window and runs the toolkit's event loop until the program has
  // ended. Returns its exit code.
  int RunUntilEnded(const std::function<void()>& eventLoop);

  // Empty while the program runs; its ExitCode once it has ended: when the
  // window closed, or an error box was shown.
  std::optional<int> exitCode() const { return exitCode_; }

  void ShowMessage(const std::string& text) override;

 protected:
  ProgramWindow(ApplyMode mode, ServerTree tree);
  ~ProgramWindow() = default;

  // A button of the role was pressed.
  void Press(Role role);
  // The window is gone: the program ends, with a change applied or not.
  void OnClosed();
  // While one of the controller's steps runs, and no box waits for the user,
  // the window takes no input and closes only when the step closes it.
  bool busy() const { return busy_; }
  // Whether a request to close the window is carried out now. The system's
  // (the close box, the end of the session) waits for the step, which
  // leaves the server on one port or the other; the program's own does not.
  bool MayClose(bool bySystem) const { return !(busy_ && bySystem); }

 private:
  // Runs one of the controller's steps under the busy cursor, with requests
  // to end the program held. An error it throws is shown in an error box and
  // ends the program; a request that came ends it without one.
  void Run(void (PortController::*step)());
  // Lets the requests to end the program through again.
  void ReleaseHold();
  // The first code stays.
  void EndProgram(int exitCode);

  // What each toolkit does in its own way.
  // Runs a step under the busy cursor.
  virtual void WhileBusy(const std::function<void()>& work) = 0;
  // A box waits for the user, so it is not under the busy cursor. Texts are
  // the core's, in the ANSI code page; the details are all a failed command
  // wrote, for a box that can hold them.
  virtual void ShowBox(const std::string& text, BoxIcon icon, const std::string& details) = 0;
  virtual void Reveal() = 0;
  // Focuses the port box with its whole text selected, shown from its first
  // character, so that typing replaces the port.
  virtual void SelectPort() = 0;
  // Another copy holds the server: the user is shown it.
  virtual void PointToOtherCopy() = 0;
  // The program has ended with the code: its event loop may stop.
  virtual void Ended(int exitCode) = 0;

  OneCopy copy_;  // before the controller, which touches the server
  PortController controller_;
  std::optional<TerminationHold> hold_;  // while a step runs and shows no box
  bool busy_ = false;
  bool endRequested_ = false;   // a request to end came while the hold was on
  bool endsInFailure_ = false;  // an error box was shown, or the program was told to end
  std::optional<int> exitCode_;
};

}  // namespace gui
