#include "port_probe.h"

#include <gtest/gtest.h>

namespace {

using Ports = std::vector<std::string>;

struct NetstatCase {
  const char* name;
  const char* log;
  Ports expected;
};

TEST(ParseNetstatLog, TakesTheLocalPortOfThreeFieldLines) {
  const NetstatCase cases[] = {
      {"the worked example",
       "  Proto  Local Address          Foreign Address        State\r\n"
       "  TCP    0.0.0.0:80             0.0.0.0:0              LISTENING\r\n"
       "  TCP    10.0.0.2:139           10.0.0.9:445           ESTABLISHED\r\n"
       "  UDP    0.0.0.0:445            *:*\r\n"
       "  TCP    [::]:135               [::]:0                 LISTENING\r\n",
       {"80", "139", "445"}},
      {"headers only", "\r\nActive Connections\r\n\r\n  Proto  Local Address  Foreign Address  State\r\n", {}},
      {"empty log", "", {}},
      {"leading zeros dropped", "  TCP    0.0.0.0:080     0.0.0.0:0    LISTENING\r\n", {"80"}},
      {"duplicates kept in log order",
       "  TCP    0.0.0.0:135   0.0.0.0:0   LISTENING\n  UDP    0.0.0.0:53   *:*\n"
       "  TCP    1.2.3.4:135   5.6.7.8:9   ESTABLISHED\n",
       {"135", "53", "135"}},
      {"not a whole number skipped",
       "a:b c:d\na: c:d\na:-1 x:y\na:+5 x:y\na:99999999999999999999 x:y\na:7 x:y",
       {"7"}},
      {"lone CR ends a line too", "a:1 b:c\ra:2 b:c", {"1", "2"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ParseNetstatLog(c.log), c.expected);
  }
}

constexpr const char* kTcpHeader =
    "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n";

// Whole tables of both families are read in the probe's folder tests.
TEST(ParseProcNetSockets, SkipsTheHeaderAndBrokenLines) {
  const NetstatCase cases[] = {
      {"header only", kTcpHeader, {}},
      {"garbage lines skipped", "header\n\n   0: nocolon 0\n   1: 0:ZZ 0\n   2: 0:0050 0\n", {"80"}},
      {"short lines skipped, last column read to the line end", "header\n   \n   7:\n   8: 0:0051", {"81"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ParseProcNetSockets(c.log), c.expected);
  }
}

}  // namespace
