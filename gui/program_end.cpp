#include "program_end.h"

#include "port_controller.h"

namespace gui {

std::string ErrorBoxText(const std::exception& error) {
  if (const auto* step = dynamic_cast<const StepError*>(&error)) return step->heading() + "\n\n" + step->what();
  return std::string("The program failed.\n\n") + error.what();
}

std::string ErrorDetails(const std::exception& error) {
  const auto* step = dynamic_cast<const StepError*>(&error);
  return step ? step->output() : std::string();
}

}  // namespace gui
