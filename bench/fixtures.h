#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

// A configuration file of the given number of lines, shaped like a server's
// main configuration: comments, directives, sections, and a Listen line
// (plain, with an address, with a protocol) every ten thousand lines.
std::string MakeConfiguration(size_t lines);

// Writes tcp, tcp6, udp and udp6 socket tables holding `sockets` sockets in
// all, in the kernel's format, into the folder.
void WriteSocketTables(const std::filesystem::path& folder, size_t sockets);
