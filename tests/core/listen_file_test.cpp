#include "listen_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "test_support.h"

namespace {

struct ListenLineCase {
  const char* line;
  bool isListen;
  const char* port;
};

TEST(ListenLine, RecognisesOnlyExactListenWithAPort) {
  const ListenLineCase cases[] = {
      {"Listen 80", true, "80"},
      {"Listen 0.0.0.0:80", true, "80"},
      {"Listen [::1]:8080 http", true, "8080"},
      {"Listen [::1]", true, "[::1]"},
      {"Listen 81 extra", true, "81"},
      {"Listen  80", true, ""},
      {"Listen ", true, ""},
      {"Listen\t80", false, ""},
      {"#Listen 80", false, ""},
      {"listen 80", false, ""},
      {"LISTEN 80", false, ""},
      {"  Listen 80", false, ""},
      {"Listen", false, ""},
      {"Listener 80", false, ""},
      {"", false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(IsListenLine(c.line), c.isListen);
    if (c.isListen) {
      EXPECT_EQ(ListenPortText(c.line), c.port);
    }
  }
}

struct RewriteCase {
  const char* name;
  const char* text;
  const char* expected;
};

TEST(RewriteListenText, ChangesOnlyThePortAndEndsEveryLineAlike) {
  const RewriteCase cases[] = {
      {"the four-line example", "ServerRoot C:/Apache\r\nListen 80\r\n#Listen 12.34.56.78:80\r\nListen 88\r\n",
       "ServerRoot C:/Apache\r\nListen 81\r\n#Listen 12.34.56.78:80\r\nListen 81\r\n"},
      {"empty file", "", ""},
      {"last line without an end", "Listen 80", "Listen 81\r\n"},
      {"LF, lone CR and CRLF", "a\nListen 80\rb\r\nc", "a\r\nListen 81\r\nb\r\nc\r\n"},
      {"empty lines kept", "\n\r\n\r", "\r\n\r\n\r\n"},
      {"CR LF LF is two lines", "a\r\n\nb", "a\r\n\r\nb\r\n"},
      {"IPv4 address kept", "Listen 127.0.0.1:80\n", "Listen 127.0.0.1:81\r\n"},
      {"IPv6 address kept", "Listen [::1]:80\n", "Listen [::1]:81\r\n"},
      {"protocol kept", "Listen 80 http\n", "Listen 81 http\r\n"},
      {"address and protocol kept", "Listen 10.0.0.5:443 https\n", "Listen 10.0.0.5:81 https\r\n"},
      {"empty port token", "Listen  80\n", "Listen 81\r\n"},
      {"other lines untouched", "listen 80\n  Listen 80\n#Listen 80\nListen\n",
       "listen 80\r\n  Listen 80\r\n#Listen 80\r\nListen\r\n"},
      {"other bytes pass through", "\xEF\xBB\xBFServerName \xE4\xB8\xAD\tx\nListen 80\n",
       "\xEF\xBB\xBFServerName \xE4\xB8\xAD\tx\r\nListen 81\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(RewriteListenText(c.text, "81", "\r\n"), c.expected);
  }
  EXPECT_EQ(RewriteListenText("a\r\nListen 80\r\n", "81", "\n"), "a\nListen 81\n");
}

TEST(ReadListenPort, ReportsEveryListenLineInOrder) {
  TempDir dir;
  const std::string conf = dir / "httpd.conf";
  WriteFile(conf, "Listen 80\r\nlisten 81\r\n#Listen 82\nListen 127.0.0.1:88 http\rListen  8");
  std::vector<std::string> ports;
  ReadListenPort(conf, [&](const std::string& port) { ports.push_back(port); });
  EXPECT_EQ(ports, (std::vector<std::string>{"80", "88", ""}));
}

TEST(IsFileExit, TrueOnlyForFiles) {
  TempDir dir;
  WriteFile(dir / "plain", "x");
  WriteFile(dir / ".hidden", "x");
  WriteFile(dir / "readonly", "x");
  std::filesystem::permissions(dir / "readonly", std::filesystem::perms::owner_read);
  std::filesystem::create_directory(dir / "folder");
  EXPECT_TRUE(IsFileExit(dir / "plain"));
  EXPECT_TRUE(IsFileExit(dir / ".hidden"));
  EXPECT_TRUE(IsFileExit(dir / "readonly"));
  EXPECT_FALSE(IsFileExit(dir / "folder"));
  EXPECT_FALSE(IsFileExit(dir / "absent"));
}

}  // namespace
