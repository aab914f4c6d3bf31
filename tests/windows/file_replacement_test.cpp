// What the Win32 side of FileReplacement does alone, under Wine; ../core/file_replacement_test.cpp has more.
#include <gtest/gtest.h>
#include <windows.h>

#include "file_io.h"
#include "test_support.h"

namespace {

// A file the user may not write (read-only, or held by a program that shares no writing or no deleting)
// stays, with the system's reason; one replaced keeps its attributes. Either way no other file is left.
TEST(FileReplacement, KeepsAnUnwritableFileAndTheAttributesOfOneReplaced) {
  const std::pair<DWORD, DWORD> cases[] = {{FILE_ATTRIBUTE_READONLY, 0},
                                           {FILE_ATTRIBUTE_ARCHIVE, FILE_SHARE_READ},
                                           {FILE_ATTRIBUTE_ARCHIVE, FILE_SHARE_READ | FILE_SHARE_WRITE},
                                           {FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE, 0}};
  for (const auto& [attributes, sharing] : cases) {
    TempDir dir;
    const std::string conf = dir / "httpd.conf";
    WriteFile(conf, "Listen 80\r\n");
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
    EXPECT_EQ(ReadWholeFile(conf), writable ? "Listen 81\r\n" : "Listen 80\r\n");
    EXPECT_EQ(error.substr(0, conf.size() + 17), writable ? "" : "Cannot write \"" + conf + "\": ");
    EXPECT_EQ(GetFileAttributesA(conf.c_str()) & attributes, attributes);
    EXPECT_EQ(FileNames(dir.path()), std::vector<std::string>{"httpd.conf"});
    SetFileAttributesA(conf.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

}  // namespace
