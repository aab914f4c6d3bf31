#pragma once

#include <cstddef>
#include <string>
#include <vector>

// A configuration file of the given number of lines, shaped like a server's
// main configuration: comments, directives, sections, and a Listen line
// (plain, with an address, with a protocol) every ten thousand lines.
std::string MakeConfiguration(size_t lines);

// The kernel's tcp, tcp6, udp and udp6 socket tables as /proc/net writes
// them, holding `sockets` sockets in all.
std::vector<std::string> SocketTables(size_t sockets);
