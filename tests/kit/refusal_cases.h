#pragma once

// The change requests every layer must refuse, and how: the core's controller,
// and each toolkit's window through its port box and apply button. "P" stands
// for a port the probe lists as used; a typed text fits a port box that takes
// five characters when P has three digits.

#include <string>

#include "port_controller.h"

struct RefusalCase {
  ApplyMode mode;
  const char* config;
  const char* typed;
  const char* message;
};

inline constexpr RefusalCase kRefusalCases[] = {
    {ApplyMode::Setup, "Listen 88\r\n", "", "Must be number."},
    {ApplyMode::Setup, "Listen 88\r\n", "Text1", "Must be number."},
    {ApplyMode::Setup, "Listen 88\r\n", "1,000", "Must be number."},
    {ApplyMode::Setup, "Listen 88\r\n", "$80", "Must be number."},
    {ApplyMode::Setup, "Listen 88\r\n", "0x50", "Must be number."},
    {ApplyMode::Setup, "Listen 88\r\n", "8e", "Must be number."},
    {ApplyMode::Setup, "Listen 88\r\n", "0", "Must be 0~65536"},
    {ApplyMode::Setup, "Listen 88\r\n", "65536", "Must be 0~65536"},
    {ApplyMode::Setup, "Listen 88\r\n", "+80", "Must be 0~65536"},
    {ApplyMode::Setup, "Listen 88\r\n", "8e1", "Must be 0~65536"},
    {ApplyMode::Setup, "Listen 88\r\n", ".5", "Must be 0~65536"},
    {ApplyMode::Setup, "Listen 88\r\n", " 0P", "Can't use."},
    {ApplyMode::Setup, "Listen P\r\n", "P", "Can't use."},
    {ApplyMode::Change, "Listen P\r\n", "0P ", "Not change."},
    {ApplyMode::Change, "Listen 127.0.0.1:P\r\n", "P", "Not change."},
    {ApplyMode::Change, "Listen [::1]:P http\r\n", "P", "Not change."},
    {ApplyMode::Change, "ServerName x\r\n", "P", "Can't use."},
    {ApplyMode::Change, "ServerName x\r\n", "Text1", "Must be number."},
    {ApplyMode::Change, "Listen P\r\n", "0", "Must be 0~65536"},
};

// Replaces every "P" in the text by the port.
inline std::string WithPort(std::string text, const std::string& port) {
  for (size_t at; (at = text.find('P')) != std::string::npos;) text.replace(at, 1, port);
  return text;
}
