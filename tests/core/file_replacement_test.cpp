// FileReplacement where a change could lose the file of before; built for Linux and for Windows (under Wine),
// so that each platform's code meets the same rows.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "file_io.h"
#include "test_support.h"

namespace {

// From the new version's making to the change's end, with a new version a killed change left already there: an
// edit saved meanwhile is not replaced, the way back brings the original, and when that fails the original stays
// where keptPath says. No new version is left behind.
TEST(FileReplacement, NeverLosesTheOriginal) {
  const struct {
    const char* name;
    bool edited;
    bool blocked;
    const char* error;
    const char* conf;  // "": not a file
    const char* kept;
  } cases[] = {
      {"edited", true, false, "\"*httpd.conf\" changed during the change, so it was not replaced.", "Listen 88\n", ""},
      {"put_back", false, false, "", "Listen 80\n", ""},
      {"a_folder_in_the_way", false, true, "Cannot put \"*httpd.conf.before-change\" back as \"*httpd.conf\": *", "",
       "Listen 80\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string conf = dir / "httpd.conf";
    WriteFile(conf, "Listen 80\n");
    WriteFile(dir / "httpd.conf.after-change", "left by a killed change");
    std::string error, kept;
    try {
      FileReplacement file(conf, "Listen 80\n", "Listen 81\n");
      kept = file.keptPath();
      if (c.edited) WriteFile(conf, "Listen 88\n");
      file.Place();
      if (c.blocked) {
        std::filesystem::remove(conf);
        std::filesystem::create_directories(conf + "/in the way");
      }
      file.PutBack();
    } catch (const std::runtime_error& thrown) {
      error = thrown.what();
    }
    EXPECT_TRUE(Matches(error, c.error)) << error;
    EXPECT_EQ(std::filesystem::is_regular_file(conf) ? ReadWholeFile(conf) : "", c.conf);
    EXPECT_EQ(ReadFileIfAny(kept), c.kept);
    EXPECT_FALSE(std::filesystem::exists(dir / "httpd.conf.after-change"));
  }
}

}  // namespace
