#pragma once

// What the Win32 window tests and the program tests share under Wine: a
// machine of stand-ins for the programs to meet, and reading and answering
// their message boxes, which works from this process or another.

#include <windows.h>

#include <optional>
#include <string>

#include "server_tree.h"

bool UnderWine();

// A program built beside this test program.
std::string BesideMe(const char* name);

// A server tree at root whose program is a stand-in that records each run's
// arguments, with httpd.conf holding the config (none when null), and the
// canned netstat in the system folder. All of it goes with the object.
class StandIns {
 public:
  StandIns(std::string root, const char* config);
  StandIns(const StandIns&) = delete;
  StandIns& operator=(const StandIns&) = delete;
  ~StandIns();

  ServerTree tree() const;
  std::string config() const;
  // One line per run of the server program: "<-k> <start>\r\n".
  std::string commands() const;

 private:
  std::string root_, netstat_;
  std::optional<std::string> originalNetstat_;
};

struct SeenBox {
  std::wstring title, text;
  HWND owner;
  bool ownerShown;
  int buttons;
  bool icon;  // an icon beside the text: an error box
};

std::wstring TextOf(HWND window);
std::wstring ClassOf(HWND window);

bool IsMessageBox(HWND window);
SeenBox ReadBox(HWND box);
void PressOk(HWND box);
