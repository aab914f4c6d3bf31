#include "listen_file.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

struct ListenCase {
  const char* text;
  std::vector<std::string> ports;  // as read, in file order
  const char* rewritten;           // with port 81 and CRLF line ends
};

// Only "Listen", a space and a port at the very start of a line counts; a line
// ends at CRLF, LF or a lone CR; the rewrite changes nothing but the ports.
TEST(ListenLines, AreReadAndRewrittenByTheLetter) {
  const ListenCase cases[] = {
      {"ServerRoot C:/Apache\r\nListen 80\r\n#Listen 12.34.56.78:80\r\nListen 88\r\n",
       {"80", "88"},
       "ServerRoot C:/Apache\r\nListen 81\r\n#Listen 12.34.56.78:80\r\nListen 81\r\n"},
      {"", {}, ""},
      {"Listen 80", {"80"}, "Listen 81\r\n"},
      {"a\nListen 80\rListen 82\r\nc", {"80", "82"}, "a\r\nListen 81\r\nListen 81\r\nc\r\n"},
      {"a\r\n\n\r\rb", {}, "a\r\n\r\n\r\n\r\nb\r\n"},
      {"Listen 10.0.0.5:443 https\nListen [::1]:80\n",
       {"443", "80"},
       "Listen 10.0.0.5:81 https\r\nListen [::1]:81\r\n"},
      {"Listen  80\nListen \n", {"", ""}, "Listen 81\r\nListen 81\r\n"},
      {"listen 80\n  Listen 80\n#Listen 80\nListen\nListen\t80\nLISTEN 80\nListener 80\n",
       {},
       "listen 80\r\n  Listen 80\r\n#Listen 80\r\nListen\r\nListen\t80\r\nLISTEN 80\r\nListener 80\r\n"},
      {"\xEF\xBB\xBFServerName \xE4\xB8\xAD\tx\nListen 80\n",
       {"80"},
       "\xEF\xBB\xBFServerName \xE4\xB8\xAD\tx\r\nListen 81\r\n"},
  };
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    WriteFile(dir / "httpd.conf", c.text);
    std::vector<std::string> ports;
    ReadListenPort(dir / "httpd.conf", [&](const std::string& port) { ports.push_back(port); });
    EXPECT_EQ(ports, c.ports);
    EXPECT_EQ(RewriteListenText(c.text, "81", "\r\n"), c.rewritten);
  }
  EXPECT_EQ(RewriteListenText("a\r\nListen 80\r\n", "81", "\n"), "a\nListen 81\n");
  // An IPv6 address holds colons of its own.
  EXPECT_EQ(ListenPortText("Listen [::1]"), "[::1]");
}

}  // namespace
