// One handler answers every request: it is caught and recorded while held,
// rather than blocked, as blocking holds a signal only in the threads that
// block it, and a toolkit's own threads (Qt's X event reader, its D-Bus
// connection) would take it and end the program.
#include <unistd.h>

#include <csignal>
#include <initializer_list>

#include "termination_hold.h"

namespace {

volatile std::sig_atomic_t held = 0;
volatile std::sig_atomic_t arrived = 0;
// The code an unheld request ends the program with; -1 before EndWhenAsked:
// the signal's own end.
volatile std::sig_atomic_t endCode = -1;

void Answer(int request) {
  if (held) {
    arrived = 1;
  } else if (endCode >= 0) {
    _exit(endCode);
  } else {
    signal(request, SIG_DFL);
    raise(request);
  }
}

void AnswerRequests() {
  [[maybe_unused]] static const bool answered = [] {
    struct sigaction answer {};
    answer.sa_handler = Answer;
    answer.sa_flags = SA_RESTART;
    sigfillset(&answer.sa_mask);
    for (const int request : {SIGTERM, SIGINT, SIGHUP}) {
      struct sigaction before {};
      sigaction(request, nullptr, &before);
      if (before.sa_handler != SIG_IGN) sigaction(request, &answer, nullptr);
    }
    return true;
  }();
}

}  // namespace

void EndWhenAsked(int exitCode) {
  endCode = exitCode;
  AnswerRequests();
}

TerminationHold::TerminationHold() {
  arrived = 0;
  held = 1;
  AnswerRequests();
}

bool TerminationHold::Release() {
  if (!held_) return false;
  held_ = false;
  held = 0;
  // A request that comes after the look ends the program with the code set.
  return arrived != 0;
}
