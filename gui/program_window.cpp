#include "program_window.h"

#include <exception>
#include <utility>

#include "program_end.h"

namespace gui {

ProgramWindow::ProgramWindow(ApplyMode mode, ServerTree tree) : controller_(mode, *this, std::move(tree)) {}

std::optional<int> ProgramWindow::Open() {
  Run(&PortController::Start);
  if (exitCode_) return exitCode_;
  Reveal();
  SelectPort();
  return std::nullopt;
}

void ProgramWindow::ShowMessage(const std::string& text) { Box(text, BoxIcon::None); }

void ProgramWindow::Press(Role role) {
  if (role == Role::Exit) return Close();
  if (role != Role::Apply) return;
  Run(&PortController::RequestChange);
  // After a refusal the user corrects the port.
  if (!exitCode_) SelectPort();
}

void ProgramWindow::OnClosed() { EndProgram(controller_.applied() ? kApplied : kNotApplied); }

void ProgramWindow::Run(void (PortController::*step)()) {
  std::optional<std::string> error;
  WithCursor(Cursor::Busy, [&] {
    try {
      (controller_.*step)();
    } catch (const std::exception& thrown) {
      error = ErrorBoxText(thrown);
    }
  });
  if (!error) return;
  Box(*error, BoxIcon::Error);
  EndProgram(kFailed);
  Close();
}

void ProgramWindow::Box(const std::string& text, BoxIcon icon) {
  WithCursor(Cursor::Arrow, [&] { ShowBox(text, icon); });
}

void ProgramWindow::EndProgram(int exitCode) {
  if (exitCode_) return;
  exitCode_ = exitCode;
  Ended(exitCode);
}

}  // namespace gui
