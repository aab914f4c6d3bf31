#pragma once

// What a request to end the program (SIGTERM, SIGINT, SIGHUP) does, in one
// place: it ends the program at once with the exit code last given to
// EndWhenAsked, or waits while a TerminationHold holds it, so that the
// program never ends between writing httpd.conf and the server's commands,
// or their undoing. A request the program was started to ignore (nohup)
// stays ignored. termination_hold_posix.cpp or termination_hold_win32.cpp:
// a windowed program on Windows gets no signals, and the end of the session
// comes to its window, which answers it.

// From now on an unheld request ends the program at once with the code.
void EndWhenAsked(int exitCode);

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
