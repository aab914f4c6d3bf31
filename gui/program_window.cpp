#include "program_window.h"

#include <exception>
#include <utility>

#include "box_text.h"
#include "exit_code.h"

namespace gui {

ProgramWindow::ProgramWindow(ApplyMode mode, ServerTree tree)
    : copy_(tree), controller_(mode, *this, std::move(tree)) {}

std::optional<int> ProgramWindow::Open() {
  // Until a step fails, a request to end the program is a close.
  EndWhenAsked(kNotApplied);
  if (!copy_.first()) {
    PointToOtherCopy();
    EndProgram(kNotApplied);
    return exitCode_;
  }
  Run(&PortController::Start);
  if (exitCode_) return exitCode_;
  Reveal();
  SelectPort();
  return std::nullopt;
}

int ProgramWindow::RunUntilEnded(const std::function<void()>& eventLoop) {
  if (const std::optional<int> ended = Open()) return *ended;
  eventLoop();
  // The loop can stop without the window's word: the system ended it.
  return exitCode_.value_or(kNotApplied);
}

void ProgramWindow::ShowMessage(const std::string& text) {
  // The controller's messages come before it changes anything, and the
  // program may end while one waits for the user.
  ReleaseHold();
  if (endRequested_) return;
  // While the box waits for the user, the window may be closed.
  const bool busy = std::exchange(busy_, false);
  ShowBox(text, BoxIcon::None, {});
  busy_ = busy;
}

void ProgramWindow::Press(Role role) {
  if (busy_) return;  // a click posted while a step waits
  if (role == Role::Exit) return Close();
  if (role != Role::Apply) return;
  Run(&PortController::RequestChange);
  // After a refusal the user corrects the port.
  if (!exitCode_) SelectPort();
}

void ProgramWindow::OnClosed() {
  EndProgram(endsInFailure_ ? kFailed : controller_.applied() ? kApplied : kNotApplied);
}

void ProgramWindow::Run(void (PortController::*step)()) {
  std::optional<std::string> error;
  std::string details;
  hold_.emplace();
  busy_ = true;
  WhileBusy([&] {
    try {
      (controller_.*step)();
    } catch (const std::exception& thrown) {
      error = ErrorBoxText(thrown);
      details = ErrorDetails(thrown);
    }
  });
  busy_ = false;
  // Set before a request is let through, which may come before the box.
  if (error) EndWhenAsked(kFailed);
  ReleaseHold();
  if (!error && !endRequested_) return;
  // Set before the box: the window may be closed while it waits.
  endsInFailure_ = true;
  if (!endRequested_) ShowBox(*error, BoxIcon::Error, details);
  Close();
}

void ProgramWindow::ReleaseHold() {
  // A request held ends the program once the step is over, however it ends.
  if (hold_ && hold_->Release()) endRequested_ = endsInFailure_ = true;
  hold_.reset();
}

void ProgramWindow::EndProgram(int exitCode) {
  if (exitCode_) return;
  exitCode_ = exitCode;
  Ended(exitCode);
}

}  // namespace gui
