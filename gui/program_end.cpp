#include "program_end.h"

#include <exception>

#include "box_text.h"
#include "exit_code.h"
#include "termination_hold.h"

namespace gui {

int RunReportingErrors(const std::function<int()>& start, const std::function<void(const std::string&)>& errorBox) {
  try {
    return start();
  } catch (const std::exception& error) {
    EndWhenAsked(kFailed);
    errorBox(ErrorBoxText(error));
    return kFailed;
  }
}

}  // namespace gui
