#pragma once

namespace gui {

// The program's exit codes, for the installer or script that started it.
enum ExitCode : int {
  kApplied = 0,     // the port was written and the server listens on it
  kFailed = 1,      // an error box was shown, or the program was told to end while a step ran
  kNotApplied = 2,  // ended without applying: the missing file, another copy, Exit, a close
};

}  // namespace gui
