// Prints FreePort()'s port, for the scripts.
#include <cstdio>
#include <stdexcept>

#include "test_support.h"

int main() {
  try {
    std::puts(FreePort().c_str());
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "free_port: %s\n", error.what());
    return 1;
  }
}
