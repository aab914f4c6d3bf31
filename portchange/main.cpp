#include "form1_layout.h"
#include "program_start.h"

int main(int argc, char** argv) { return gui::RunProgram(argc, argv, portchange::kForm1Layout); }
