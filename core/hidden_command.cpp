#include "hidden_command.h"

std::string DescribeCommand(const Command& command) {
  std::string line = "\"" + command.program + "\"";
  for (const std::string& argument : command.arguments) line += " " + argument;
  return line;
}
