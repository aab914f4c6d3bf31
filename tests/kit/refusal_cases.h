#pragma once

// The change requests a window must refuse, and how, put in through its port
// box and apply button: the Qt windows meet them all, through the controller
// both toolkits share. "P" stands for a port the probe lists as used.

#include <string>

#include "port_controller.h"

struct RefusalCase {
  ApplyMode mode;
  const char* config;
  const char* typed;
  const char* message;
};

// One row for each way through the checks, which come in this order.
inline constexpr RefusalCase kRefusalCases[] = {
    {ApplyMode::Setup, "Listen 88\r\n", "", "Must be number."},
    {ApplyMode::Setup, "Listen 88\r\n", "0", "Must be 0~65536"},
    {ApplyMode::Setup, "Listen 88\r\n", "65536", "Must be 0~65536"},
    // Compared as the server reads a port.
    {ApplyMode::Setup, "Listen 88\r\n", " 0P", "Can't use."},
    {ApplyMode::Change, "Listen P\r\n", "0P ", "Not change."},
    {ApplyMode::Change, "Listen [::1]:P http\r\n", "P", "Not change."},
    // Only a change refuses the port it has; setting up, it is in use.
    {ApplyMode::Setup, "Listen P\r\n", "P", "Can't use."},
    {ApplyMode::Change, "ServerName x\r\n", "P", "Can't use."},
};

// Replaces every "P" in the text by the port.
inline std::string WithPort(std::string text, const std::string& port) {
  for (size_t at; (at = text.find('P')) != std::string::npos;) text.replace(at, 1, port);
  return text;
}
