#pragma once

// Changes whose outcome the server decides, which every layer must report
// rightly: the core's controller, and each toolkit's window. The server
// program is the stand-in (stand_in_server.cpp), which acts as upstream httpd
// on Unix: its start and stop return before the server has taken or let go of
// its ports. Most changes fail, and an error box ends the program with
// httpd.conf byte for byte as before; a few land on the new port.
//
// In the texts, "OLD" stands for the port configured before the change,
// "NEW" for the one asked for (both free when the program starts) and
// "SERVER" for the server program's quoted path. A layer gives the server
// kPortWait to let go of or take a port.

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "port_controller.h"
#include "port_probe.h"
#include "test_sockets.h"
#include "test_support.h"

inline constexpr std::chrono::milliseconds kPortWait{2000};

struct FailedChangeCase {
  const char* name;
  ApplyMode mode;
  const char* config;
  // The server before the change: "running" on OLD, "stopped", or "missing"
  // (no server program).
  const char* server;
  // A setting of the stand-in ("NAME=VALUE"), or "taken": another program
  // listens on NEW by the time the server starts.
  const char* setting;
  // The outcome comes from a wait running out: a program, which gives the
  // server 30 s, would take that long.
  bool waitsOut;
  // The stand-in's record of the program's runs of it.
  const char* runs;
  // What the error's detail holds, in this order; none: the change landed,
  // with no box, exit code 0 and NEW in httpd.conf.
  std::vector<std::string> says;
  // The ports listening afterwards: "OLD", "NEW", both ("OLD NEW") or none.
  const char* listening;
};

inline const FailedChangeCase kFailedChangeCases[] = {
    {"change, the new port taken",
     ApplyMode::Change,
     "ServerRoot x\r\nListen OLD\r\n",
     "running",
     "taken",
     false,
     "<-t>\n<-k> <stop>\n<-k> <start>\n<-k> <start>\n",
     // The cause first, as the server names it, then a few lines of many,
     // each cut to what a box can show.
     {"SERVER -k start ended with exit code 1. Its output began:\n"
      "    (98)Address already in use: AH00072: make_sock: could not bind to address [::]:NEW\n"
      "    no listening sockets available, shutting down\n"
      "    AH00015: Unable to open logs\n"
      "    stand-in: shutting down, line 1 of 2000 " +
          std::string(120, '.') + "...\n",
      "line 3 of 2000 " + std::string(120, '.') + "...\n    (and ",
      " more lines)\n\nhttpd.conf was put back as it was and the server started again: port OLD is back."},
     "OLD"},
    {"setup, the new port taken",
     ApplyMode::Setup,
     "Listen 127.0.0.1:OLD http\r\n",
     "stopped",
     "taken",
     false,
     "<-t>\n<-k> <install>\n<-k> <start>\n<-k> <start>\n",
     {"SERVER -k start ended with exit code 1. Its output began:\n    (98)Address already in use: ",
      "\n\nhttpd.conf was put back as it was and the server started again: port OLD is back."},
     "OLD"},
    {"no server program",
     ApplyMode::Change,
     "Listen OLD\r\n",
     "missing",
     "",
     false,
     "",
     {"Cannot start SERVER -t: ", "\n\nhttpd.conf was put back as it was, and the server was left as it was."},
     ""},
    {"no Listen line by the letter",
     ApplyMode::Setup,
     "listen 80\r\n  Listen 80\r\nListen\t80\r\n",
     "stopped",
     "",
     false,
     "",
     {"holds no Listen line"},
     ""},
    // A file the server refuses is found before anything is stopped.
    {"change, the test fails",
     ApplyMode::Change,
     "Listen OLD\r\nBogus x\r\n",
     "running",
     "",
     false,
     "<-t>\n",
     {"SERVER -t ended with exit code 1. Its output began:\n    AH00526: Syntax error on line 2 of ",
      "\n    Invalid command 'Bogus', perhaps misspelled",
      "\n\nhttpd.conf was put back as it was, and the server was left as it was."},
     "OLD"},
    // The start comes once the old server has let go of its port.
    {"change, a slow stop",
     ApplyMode::Change,
     "Listen OLD\r\n",
     "running",
     "STAND_IN_STOP_MS=500",
     false,
     "<-t>\n<-k> <stop>\n<-k> <start>\n",
     {},
     "NEW"},
    // The server it starts keeps the pipe as long as it lives.
    {"change, the server holds the output",
     ApplyMode::Change,
     "Listen OLD\r\n",
     "running",
     "STAND_IN_KEEP_OUTPUT=1",
     false,
     "<-t>\n<-k> <stop>\n<-k> <start>\n",
     {},
     "NEW"},
    {"setup, already running",
     ApplyMode::Setup,
     "Listen OLD\r\n",
     "running",
     "",
     true,
     "<-t>\n<-k> <install>\n<-k> <start>\n<-k> <start>\n",
     {"SERVER -k start ended with exit code 0, but nothing listened on port NEW within 2 s. Its output began:\n"
      "    httpd (pid ",
      "\n\nhttpd.conf was put back as it was and the server started again: port OLD is back."},
     "OLD"},
    // The box says what the sockets say.
    {"change, a late failure leaves the server on the new port",
     ApplyMode::Change,
     "Listen OLD\r\n",
     "running",
     "STAND_IN_START_FAILS_LATE=1",
     true,
     "<-t>\n<-k> <stop>\n<-k> <start>\n<-k> <start>\n",
     {"SERVER -k start ended with exit code 1. Its output began:\n    AH00016: Configuration Failed\n\n"
      "httpd.conf was put back as it was, but port OLD is not back: "
      "SERVER -k start ended with exit code 0, but nothing listened on port OLD within 2 s. Its output began:\n"
      "    httpd (pid "},
     "NEW"},
};

// One run of a case: its two ports, free when asked for, and the stand-in's
// setting for as long as the run lives.
class ChangeRun {
 public:
  explicit ChangeRun(const FailedChangeCase& c) : c_(c), setting_(c.setting), knob_(setting_.substr(0, Equals())) {
    const Sockets sockets;
    oldPort = FreePort();
    do newPort = FreePort();
    while (newPort == oldPort);
    if (Equals() != std::string::npos) environment_.emplace(knob_.c_str(), setting_.substr(Equals() + 1).c_str());
  }

  // The text with "SERVER", "OLD" and "NEW" filled in.
  std::string Filled(const std::string& text, const std::string& program = "") const {
    return Fill(text, program, oldPort);
  }
  // httpd.conf before the change, and once it has landed (with CRLF line ends).
  std::string config() const { return Filled(c_.config); }
  std::string changed() const { return Fill(c_.config, "", newPort); }

  // The first of the case's pieces, filled in, that the detail does not hold,
  // in order; empty when it holds them all.
  std::string MissingFrom(const std::string& detail, const std::string& program) const {
    size_t at = 0;
    for (const std::string& says : c_.says) {
      const std::string piece = Filled(says, program);
      at = detail.find(piece, at);
      if (at == std::string::npos) return piece;
      at += piece.size();
    }
    return {};
  }

  // Which of the two ports listen now, as the case's listening says it.
  std::string Listening() const {
    const bool old = IsPortListening(std::stoi(oldPort)), fresh = IsPortListening(std::stoi(newPort));
    return std::string(old ? "OLD" : "") + (old && fresh ? " " : "") + (fresh ? "NEW" : "");
  }

  std::string oldPort, newPort;

 private:
  size_t Equals() const { return setting_.find('='); }
  std::string Fill(std::string text, const std::string& program, const std::string& old) const {
    const std::pair<const char*, std::string> fills[] = {
        {"SERVER", "\"" + program + "\""}, {"OLD", old}, {"NEW", newPort}};
    for (const auto& [name, value] : fills)
      for (size_t at = 0; (at = text.find(name, at)) != std::string::npos; at += value.size())
        text.replace(at, std::string(name).size(), value);
    return text;
  }
  static std::string FreePort() { return std::to_string(TestSocket(AF_INET, SOCK_STREAM).port()); }

  const FailedChangeCase& c_;
  std::string setting_, knob_;
  std::optional<ScopedEnvironment> environment_;
};
