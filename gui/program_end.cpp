#include "program_end.h"

#include <exception>

namespace gui {

std::optional<std::string> RunStep(PortController& controller, void (PortController::*step)()) {
  try {
    (controller.*step)();
    return std::nullopt;
  } catch (const StepError& error) {
    return error.heading() + "\n\n" + error.what();
  } catch (const std::exception& error) {
    return std::string("The program failed.\n\n") + error.what();
  }
}

}  // namespace gui
