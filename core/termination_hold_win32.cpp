// A windowed program gets no signals: the end of the session comes to its
// window as WM_QUERYENDSESSION, which the window answers.
#include "termination_hold.h"

void EndWhenAsked(int) {}

TerminationHold::TerminationHold() = default;

bool TerminationHold::Release() {
  held_ = false;
  return false;
}
