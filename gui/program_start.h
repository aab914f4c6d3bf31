#pragma once

// Where each program starts: its main hands its layout table to the toolkit
// of its platform.

#include "form_layout.h"

namespace gui {

// Builds the window from the layout on the installed server tree, opens it
// and runs it until the program ends. Returns the exit code (ExitCode). Each
// toolkit has its own.
int RunProgram(int argc, char** argv, const FormLayout& layout);

}  // namespace gui
