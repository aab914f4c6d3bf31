#include "program_window.h"

#include <exception>
#include <utility>

#include "program_end.h"

namespace gui {

ProgramWindow::ProgramWindow(ApplyMode mode, ServerTree tree)
    : copy_(tree), controller_(mode, *this, std::move(tree)) {}

std::optional<int> ProgramWindow::Open() {
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

void ProgramWindow::ShowMessage(const std::string& text) {
  // The controller's messages come before it changes anything, and the
  // program may end while one waits for the user.
  told_ |= hold_ && hold_->Release();
  hold_.reset();
  if (!told_) Box(text, BoxIcon::None);
}

void ProgramWindow::Press(Role role) {
  if (busy_) return;  // a click posted while a step waits
  if (role == Role::Exit) return Close();
  if (role != Role::Apply) return;
  Run(&PortController::RequestChange);
  // After a refusal the user corrects the port.
  if (!exitCode_) SelectPort();
}

void ProgramWindow::OnClosed() { EndProgram(failed_ ? kFailed : controller_.applied() ? kApplied : kNotApplied); }

void ProgramWindow::Run(void (PortController::*step)()) {
  std::optional<std::string> error;
  std::string details;
  hold_.emplace();
  busy_ = true;
  WithCursor(Cursor::Busy, [&] {
    try {
      (controller_.*step)();
    } catch (const std::exception& thrown) {
      error = ErrorBoxText(thrown);
      details = ErrorDetails(thrown);
    }
  });
  busy_ = false;
  told_ |= hold_ && hold_->Release();
  hold_.reset();
  if (!error && !told_) return;
  // Set before the box: the window may be closed while it waits.
  failed_ = true;
  if (!told_) Box(*error, BoxIcon::Error, details);
  Close();
}

void ProgramWindow::Box(const std::string& text, BoxIcon icon, const std::string& details) {
  // While a box waits for the user, the window may be closed.
  const bool busy = std::exchange(busy_, false);
  WithCursor(Cursor::Arrow, [&] { ShowBox(text, icon, details); });
  busy_ = busy;
}

void ProgramWindow::EndProgram(int exitCode) {
  if (exitCode_) return;
  exitCode_ = exitCode;
  Ended(exitCode);
}

}  // namespace gui
