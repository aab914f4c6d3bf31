// Prints FreePort()'s port, for the scripts; its error ends the program with the reason.
#include <cstdio>

#include "test_support.h"

int main() { std::puts(FreePort().c_str()); }
