// What the Win32 side of FileReplacement does, under Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <functional>

#include "file_io.h"
#include "test_support.h"

namespace {

using Names = std::vector<std::string>;

// A file the user may not write (read-only, or held by a program that shares no writing or no deleting)
// stays, with the system's reason; one replaced keeps its attributes. Either way no other file is left, not
// even the new version a killed change left.
TEST(FileReplacement, KeepsAnUnwritableFileAndTheAttributesOfOneReplaced) {
  const std::pair<DWORD, DWORD> cases[] = {{FILE_ATTRIBUTE_READONLY, 0},
                                           {FILE_ATTRIBUTE_ARCHIVE, FILE_SHARE_READ},
                                           {FILE_ATTRIBUTE_ARCHIVE, FILE_SHARE_READ | FILE_SHARE_WRITE},
                                           {FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE, 0}};
  for (const auto& [attributes, sharing] : cases) {
    TempDir dir;
    const std::string conf = dir / "httpd.conf";
    WriteFile(conf, "Listen 80\r\n");
    WriteFile(dir / "httpd.conf.after-change", "left by a killed change");
    SetFileAttributesA(conf.c_str(), attributes);
    const HANDLE holder =
        sharing ? CreateFileA(conf.c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING, 0, nullptr) : nullptr;
    const bool writable = attributes != FILE_ATTRIBUTE_READONLY && !holder;
    std::string error;
    try {
      FileReplacement file(conf, "Listen 80\r\n", "Listen 81\r\n");
      file.Place();
      file.Commit();
    } catch (const std::runtime_error& thrown) {
      error = thrown.what();
    }
    if (holder) CloseHandle(holder);
    EXPECT_EQ(ReadFile(conf), writable ? "Listen 81\r\n" : "Listen 80\r\n");
    EXPECT_EQ(error.substr(0, conf.size() + 17), writable ? "" : "Cannot write \"" + conf + "\": ");
    EXPECT_EQ(GetFileAttributesA(conf.c_str()) & attributes, attributes);
    EXPECT_EQ(FileNames(dir.path()), (writable ? Names{"httpd.conf"} : Names{"httpd.conf", "httpd.conf.after-change"}));
    SetFileAttributesA(conf.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

// Between the new version's making and the change's end: an edit saved meanwhile is not replaced, the way
// back brings the original, and when that fails the original stays where keptPath says.
TEST(FileReplacement, NeverLosesTheOriginal) {
  const struct {
    const char* name;
    std::function<void(FileReplacement&, const std::string& conf)> run;
    const char* error;
    const char* conf;
    const char* kept;
  } cases[] = {
      {"edited",
       [](FileReplacement& file, const std::string& conf) {
         WriteFile(conf, "Listen 88\r\n");
         file.Place();
       },
       "\"*httpd.conf\" changed during the change, so it was not replaced.", "Listen 88\r\n", ""},
      {"put back",
       [](FileReplacement& file, const std::string&) {
         file.Place();
         file.PutBack();
       },
       "", "Listen 80\r\n", ""},
      {"a folder in the way",
       [](FileReplacement& file, const std::string& conf) {
         file.Place();
         std::filesystem::remove(conf);
         std::filesystem::create_directories(conf + "\\in the way");
         file.PutBack();
       },
       "Cannot put \"*httpd.conf.before-change\" back as \"*httpd.conf\": *", "", "Listen 80\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string conf = dir / "httpd.conf";
    WriteFile(conf, "Listen 80\r\n");
    std::string error;
    try {
      FileReplacement file(conf, "Listen 80\r\n", "Listen 81\r\n");
      c.run(file, conf);
    } catch (const std::runtime_error& thrown) {
      error = thrown.what();
    }
    EXPECT_TRUE(Matches(error, c.error)) << error;
    EXPECT_EQ(std::filesystem::is_regular_file(conf) ? ReadFile(conf) : "", c.conf);
    EXPECT_EQ(ReadFileIfAny(dir / "httpd.conf.before-change"), c.kept);
  }
}

}  // namespace
