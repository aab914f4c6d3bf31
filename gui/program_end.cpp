#include "program_end.h"

#include "port_controller.h"

namespace gui {

const char kOtherCopyOpen[] = "Another copy of portsetup or portchange is already open.";

std::string ErrorBoxText(const std::exception& error) {
  if (const auto* step = dynamic_cast<const StepError*>(&error)) return step->heading() + "\n\n" + step->what();
  return std::string("The program failed.\n\n") + error.what();
}

std::string ErrorDetails(const std::exception& error) {
  const auto* step = dynamic_cast<const StepError*>(&error);
  return step ? step->output() : std::string();
}

int RunReportingErrors(const std::function<int()>& start, const std::function<void(const std::string&)>& errorBox) {
  try {
    return start();
  } catch (const std::exception& error) {
    errorBox(ErrorBoxText(error));
    return kFailed;
  }
}

}  // namespace gui
