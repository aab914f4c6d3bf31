// Holding the signals that ask a program to end. Each is caught and recorded
// while held, rather than blocked: blocking holds a signal only in the threads
// that block it, and a toolkit's own threads (Qt's X event reader, its D-Bus
// connection) would take it and end the program.
#include <array>
#include <csignal>

#include "termination_hold.h"

namespace {

constexpr std::array<int, 3> kRequests{SIGTERM, SIGINT, SIGHUP};

volatile std::sig_atomic_t arrived = 0;

std::array<struct sigaction, kRequests.size()> before;

void Record(int) { arrived = 1; }

}  // namespace

TerminationHold::TerminationHold() {
  arrived = 0;
  struct sigaction record {};
  record.sa_handler = Record;
  record.sa_flags = SA_RESTART;
  sigfillset(&record.sa_mask);
  for (size_t i = 0; i < kRequests.size(); ++i) {
    sigaction(kRequests[i], nullptr, &before[i]);
    // One the program was started to ignore (nohup) stays ignored.
    if (before[i].sa_handler != SIG_IGN) sigaction(kRequests[i], &record, nullptr);
  }
}

bool TerminationHold::Release() {
  if (!held_) return false;
  held_ = false;
  // Put back first: one that comes after the look is then the system's to act on.
  for (size_t i = 0; i < kRequests.size(); ++i) sigaction(kRequests[i], &before[i], nullptr);
  return arrived != 0;
}
