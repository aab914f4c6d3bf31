#pragma once

// What the stand-in netstat prints for "-na": Windows' own layout, with
// listening and connected TCP sockets, UDP and IPv6, CRLF line ends.
constexpr const char kCannedNetstat[] =
    "\r\n"
    "Active Connections\r\n"
    "\r\n"
    "  Proto  Local Address          Foreign Address        State\r\n"
    "  TCP    0.0.0.0:80             0.0.0.0:0              LISTENING\r\n"
    "  TCP    0.0.0.0:445            0.0.0.0:0              LISTENING\r\n"
    "  TCP    127.0.0.1:8080         127.0.0.1:49702        ESTABLISHED\r\n"
    "  TCP    10.0.0.2:49703         10.0.0.9:443           TIME_WAIT\r\n"
    "  TCP    [::]:135               [::]:0                 LISTENING\r\n"
    "  TCP    [::1]:8080             [::1]:49704            ESTABLISHED\r\n"
    "  UDP    0.0.0.0:53             *:*\r\n"
    "  UDP    0.0.0.0:445            *:*\r\n"
    "  UDP    [::]:500               *:*\r\n";
