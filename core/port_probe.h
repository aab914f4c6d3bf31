#pragma once

// The used-port probe and the listening check. The parsers are in
// port_probe.cpp; the rest in port_probe_linux.cpp (the kernel's socket
// tables) or port_probe_win32.cpp (netstat through c:\testport.bat for the
// list, the system's TCP table for the check).

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "hidden_command.h"

// The directory the used-port probe looks in: the system directory holding
// netstat on Windows; on Linux the kernel's socket tables ("/proc/net"), read
// where the kernel refuses to answer through netlink.
std::string SystemDirectory();

// The local port of every TCP and UDP socket on the machine, in the order
// found; duplicates kept, never sorted. On Windows a netstat that fails,
// writes no socket line or runs past `limit` is an error, and `whileWaiting`
// is called over and over while it runs.
std::vector<int> ProbeUsedPorts(const std::string& systemDirectory, std::chrono::milliseconds limit = kCommandLimit,
                                const std::function<void()>& whileWaiting = {});

// A TCP socket in the LISTEN state: a server there takes connections. Its
// holder is, on Linux, the kernel's inode of the socket, found among the
// descriptors of the processes that hold it; on Windows the id of the process
// that owns it. 0: the system does not say.
struct ListeningSocket {
  int port;
  unsigned long long holder;
};

// Every listening TCP socket on any address of the machine; a socket only
// bound, or connected, or of UDP, is not one. Cheap enough to ask every quarter of
// a millisecond. Throws when the system's tables cannot be read.
std::vector<ListeningSocket> ListeningSockets();

// True while a listening TCP socket has the port.
bool IsPortListening(int port);

// The used ports of a netstat log: lines of exactly three ":"-separated
// fields give the first " "-separated piece of the second field as a whole
// number; other lines, and pieces that are not a port number (0 to 65535),
// are skipped.
std::vector<int> ParseNetstatLog(std::string_view log);

// The local ports of one of the kernel's socket tables (/proc/net/tcp and its
// kin): the header line is skipped, the port is the hex after the ":" of the
// local address column.
std::vector<int> ParseProcNetSockets(std::string_view table);

// The local ports of the listening sockets (state 0A) of one of the kernel's
// TCP tables (/proc/net/tcp, tcp6), read as ParseProcNetSockets reads them.
std::vector<int> ParseProcNetListeners(std::string_view table);
