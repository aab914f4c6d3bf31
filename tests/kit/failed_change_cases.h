#pragma once

// Changes that cannot be made, which every layer must report in an error box
// ending the program, with httpd.conf byte for byte as before: the core's
// controller, and each toolkit's window. The server program is the stand-in
// (stand_in_server.cpp); the new port is free when asked for, but taken by
// the time the server starts on it (STAND_IN_TAKEN_PORT).

#include <string>
#include <vector>

#include "port_controller.h"

struct FailedChangeCase {
  const char* name;
  ApplyMode mode;
  const char* config;
  bool serverInstalled;
  // The stand-in's record of its runs.
  const char* runs;
  // What the error's detail holds, in this order; "SERVER" stands for the
  // server program's quoted path.
  std::vector<std::string> says;
};

inline const FailedChangeCase kFailedChangeCases[] = {
    {"change, the new port taken",
     ApplyMode::Change,
     "ServerRoot x\r\nListen 88\r\n",
     true,
     "<-k> <stop>\n<-k> <start>\n<-k> <start>\n",
     {"SERVER -k start ended with exit code 1, its output ending:\n"
      "    stand-in: loading module 2999\n"
      "    stand-in: loading module 3000\n"
      "    stand-in: could not bind: address already in use\n"
      "    stand-in: no listening sockets available, shutting down\n"
      "\n"
      "httpd.conf was put back as it was and the server started again: port 88 is back."}},
    {"setup, the new port taken",
     ApplyMode::Setup,
     "Listen 127.0.0.1:88 http\r\n",
     true,
     "<-k> <install>\n<-k> <start>\n<-k> <start>\n",
     {"SERVER -k start ended with exit code 1, its output ending:\n",
      "\n\nhttpd.conf was put back as it was and the server started again: port 88 is back."}},
    {"no server program",
     ApplyMode::Change,
     "Listen 88\r\n",
     false,
     "",
     {"Cannot start SERVER -k stop: ",
      "\n\nhttpd.conf was put back as it was, but the server did not start again, so port 88 is not back: "
      "Cannot start SERVER -k start: "}},
    {"no Listen line by the letter",
     ApplyMode::Setup,
     "listen 80\r\n  Listen 80\r\nListen\t80\r\n",
     true,
     "",
     {"holds no Listen line"}},
};

// The first of the case's pieces the detail does not hold, in order, with
// "SERVER" filled in; empty when it holds them all.
inline std::string MissingFrom(const std::string& detail, const FailedChangeCase& c, const std::string& program) {
  size_t at = 0;
  for (std::string piece : c.says) {
    for (size_t server = 0; (server = piece.find("SERVER", server)) != std::string::npos; server += program.size())
      piece.replace(server, 6, "\"" + program + "\"");
    at = detail.find(piece, at);
    if (at == std::string::npos) return piece;
    at += piece.size();
  }
  return {};
}
