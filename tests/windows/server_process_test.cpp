// The server's process as Win32 code holds and asks it: the stand-in serving a port.
#include "test_sockets.h"  // first: winsock2.h must come before windows.h
//
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>

#include "server_process.h"
#include "test_support.h"

namespace {

// Found by its pid file while it lives, held until it has ended; its sockets are its own where the system names
// their owner, and Wine names none.
TEST(ServerProcess, IsHeldUntilItEndsAndOwnsItsSockets) {
  const Sockets sockets;
  const TempDir dir;
  const std::string pidFile = dir / "httpd.pid";
  const int port = TestSocket(AF_INET6, SOCK_STREAM).port();
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  const HANDLE listening = CreateEventA(&inheritable, TRUE, FALSE, nullptr);
  std::string line = "\"" + (std::filesystem::path(_pgmptr).parent_path() / "stand_in_server.exe").string() +
                     "\" --serve " + std::to_string(port) + " " +
                     std::to_string(reinterpret_cast<unsigned long long>(listening)) + " \"" + pidFile + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION server{};
  ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &server));
  CloseHandle(server.hThread);
  ASSERT_EQ(WaitForSingleObject(listening, 30000), WAIT_OBJECT_0);

  std::optional<ServerProcess> found = ServerProcess::Find(pidFile);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->pid(), static_cast<int>(server.dwProcessId));
  EXPECT_FALSE(found->Ended());
  const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version");
  EXPECT_EQ(found->ListeningPorts(), wine ? std::nullopt : std::optional(std::vector<int>{port}));

  SetEvent(OpenEventA(EVENT_MODIFY_STATE, FALSE, "portconfig.stand-in.stop"));
  for (int tries = 0; tries < 3000 && !found->Ended(); ++tries) Sleep(10);
  EXPECT_TRUE(found->Ended());
  CloseHandle(server.hProcess);
  // Its pid in a file it left is no server, held or released.
  WriteFile(pidFile, std::to_string(server.dwProcessId) + "\r\n");
  EXPECT_FALSE(ServerProcess::Find(pidFile));
  found.reset();
  EXPECT_FALSE(ServerProcess::Find(pidFile));
}

}  // namespace
