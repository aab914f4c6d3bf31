// What the Win32 side of the command runner does, under Wine.
#include "hidden_command.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <filesystem>

#include "test_support.h"

namespace {

// Past its limit a command is ended alone, so a server it started lives on; one that starts no server (the
// probe's batch file) is ended with all it started, which would otherwise hold what it was writing.
TEST(HiddenCommand, TheLimitEndsAllItStartedOnlyWhenAsked) {
  TempDir dir;
  const std::string batch = dir / "hang.bat";
  // Told to serve, the stand-in holds its stop event and waits for it for two minutes.
  const auto standIn = std::filesystem::path(_pgmptr).parent_path() / "stand_in_server.exe";
  WriteFile(batch, "@\"" + standIn.string() + "\" --serve 0 0\r\n");
  const auto serving = [](DWORD access) { return OpenEventA(access, FALSE, "portconfig.stand-in.stop"); };
  for (const bool endAll : {true, false}) {
    SCOPED_TRACE(endAll ? "all it started" : "the command alone");
    bool started = false;
    std::string error;
    try {
      RunHiddenAndWait(
          {batch, {}, endAll},
          [&] {
            if (const HANDLE stop = serving(SYNCHRONIZE)) started = CloseHandle(stop);
          },
          std::chrono::seconds(3));
    } catch (const std::runtime_error& thrown) {
      error = thrown.what();
    }
    EXPECT_TRUE(Matches(error, "\"*hang.bat\" did not end within 3 s, so it was ended.")) << error;
    EXPECT_TRUE(started);
    const HANDLE stop = serving(EVENT_MODIFY_STATE);
    EXPECT_EQ(stop != nullptr, !endAll);
    if (stop) {
      SetEvent(stop);
      CloseHandle(stop);
    }
  }
}

}  // namespace
