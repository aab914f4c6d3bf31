#pragma once

// Holding off the requests to end the program (SIGTERM, SIGINT, SIGHUP) while
// it changes the server, so that it never ends between writing httpd.conf and
// the server's commands, or their undoing. termination_hold_posix.cpp or
// termination_hold_win32.cpp.

// Holds the requests while it lives.
class TerminationHold {
 public:
  TerminationHold();
  TerminationHold(const TerminationHold&) = delete;
  TerminationHold& operator=(const TerminationHold&) = delete;
  ~TerminationHold() { Release(); }

  // Lets the requests through again. True when one came while they were held:
  // it is taken, and the caller ends the program.
  bool Release();

 private:
  bool held_ = true;
};
