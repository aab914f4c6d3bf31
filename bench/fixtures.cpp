#include "fixtures.h"

#include <cstdio>
#include <iterator>

namespace {

constexpr const char* kBody[] = {
    "# This is the main server configuration file. See the manual for details.",
    "ServerRoot \"/usr/local/apache2\"",
    "",
    "LoadModule mpm_event_module modules/mod_mpm_event.so",
    "LoadModule authz_core_module modules/mod_authz_core.so",
    "<IfModule unixd_module>",
    "User daemon",
    "Group daemon",
    "</IfModule>",
    "#Listen 12.34.56.78:80",
    "ServerAdmin you@example.com",
    "<Directory \"/usr/local/apache2/htdocs\">",
    "    Options Indexes FollowSymLinks",
    "    AllowOverride None",
    "    Require all granted",
    "</Directory>",
    "    # Apache lets Listen stand indented, but this is no Listen line here.",
    "ErrorLog \"logs/error_log\"",
    "LogFormat \"%h %l %u %t \\\"%r\\\" %>s %b\" common",
};

constexpr const char* kListenLines[] = {"Listen 80", "Listen 10.0.0.5:8080", "Listen [::1]:443 https"};

struct Table {
  size_t share;  // tenths of all sockets
  size_t addressDigits;
};

// tcp, tcp6, udp, udp6
constexpr Table kTables[] = {{4, 8}, {3, 32}, {2, 8}, {1, 32}};

std::string SocketTable(const Table& table, size_t count, size_t firstPort) {
  std::string text =
      "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n";
  const std::string address(table.addressDigits - 1, '0');
  char line[256];
  for (size_t i = 0; i < count; ++i) {
    const unsigned port = static_cast<unsigned>((firstPort + i) % 65535 + 1);
    std::snprintf(line, sizeof line,
                  "%5zu: %s1:%04X %s0:0000 0A 00000000:00000000 00:00000000 00000000     0        0 %zu 1 "
                  "0000000000000000 100 0 0 10 0\n",
                  i, address.c_str(), port, address.c_str(), 20000 + i);
    text += line;
  }
  return text;
}

}  // namespace

std::string MakeConfiguration(size_t lines) {
  std::string text;
  const size_t bodyLines = std::size(kBody);
  for (size_t i = 0; i < lines; ++i) {
    text += i % 10000 == 5000 ? kListenLines[(i / 10000) % std::size(kListenLines)] : kBody[i % bodyLines];
    text += '\n';
  }
  return text;
}

std::vector<std::string> SocketTables(size_t sockets) {
  std::vector<std::string> tables;
  size_t firstPort = 0;
  for (const Table& table : kTables) {
    const size_t count = sockets * table.share / 10;
    tables.push_back(SocketTable(table, count, firstPort));
    firstPort += count;
  }
  return tables;
}
