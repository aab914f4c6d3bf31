#include "port_probe.h"

#include <gtest/gtest.h>

namespace {

struct SocketListCase {
  const char* text;
  std::vector<std::string> ports;
};

// netstat's log (three ":"-separated fields) and the kernel's tables (a header,
// then the hex port of the local address column): duplicates kept in order,
// anything not a whole number skipped.
TEST(SocketLists, GiveTheLocalPortOfEveryWellFormedLine) {
  const SocketListCase netstat[] = {
      {"  Proto  Local Address          Foreign Address        State\r\n"
       "  TCP    0.0.0.0:080            0.0.0.0:0              LISTENING\r\n"
       "  TCP    10.0.0.2:139           10.0.0.9:445           ESTABLISHED\r\n"
       "  UDP    0.0.0.0:80             *:*\r\n"
       "  TCP    [::]:135               [::]:0                 LISTENING\r\n",
       {"80", "139", "80"}},
      {"a:b c:d\na: c:d\na:-1 x:y\na:+5 x:y\na:99999999999999999999 x:y\na:7 x:y", {"7"}},
      {"a:1 b:c\ra:2 b:c", {"1", "2"}},
  };
  const SocketListCase tables[] = {
      {"  sl  local_address rem_address   st\n   0: 0100007F:0050 0100007F:9C40 01\n", {"80"}},
      {"header\n\n   0: nocolon 0\n   1: 0:ZZ 0\n   2: 0:0050 0\n   \n   7:\n   8: 0:0051", {"80", "81"}},
  };
  for (const auto& c : netstat) EXPECT_EQ(ParseNetstatLog(c.text), c.ports) << c.text;
  for (const auto& c : tables) EXPECT_EQ(ParseProcNetSockets(c.text), c.ports) << c.text;
}

}  // namespace
