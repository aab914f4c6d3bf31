#include "windows_kit.h"

#include <filesystem>

#include "port_probe.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

const std::string kHijacker = "C:\\Program.exe";

}  // namespace

std::string BesideMe(const char* name) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  return (fs::path(self).parent_path() / name).string();
}

StandIns::StandIns(const std::string& root, const char* config)
    : tree{root + "\\conf\\httpd.conf", root + "\\bin\\apache"}, root_(root) {
  fs::remove_all(root);
  fs::create_directories(root + "\\conf");
  fs::create_directories(root + "\\bin");
  if (config) WriteFile(tree.configFile, config);
  const auto options = fs::copy_options::overwrite_existing;
  fs::copy_file(BesideMe("stand_in_server.exe"), tree.serverProgram + ".exe", options);
  fs::copy_file(BesideMe("stand_in_server.exe"), kHijacker, options);
  fs::remove(kHijacker + ".log");
  fs::copy_file(BesideMe("canned_netstat.exe"), SystemDirectory() + "\\netstat.exe", options);
}

StandIns::~StandIns() {
  std::error_code ignored;
  fs::remove_all(root_, ignored);
  fs::remove(kHijacker, ignored);
  fs::remove(kHijacker + ".log", ignored);
}

std::string StandIns::config() const { return ReadFileIfAny(tree.configFile); }

std::string StandIns::commands() const {
  return ReadFileIfAny(tree.serverProgram + ".exe.log") + ReadFileIfAny(kHijacker + ".log");
}

std::wstring TextOf(HWND window) {
  wchar_t text[1024] = L"";
  SendMessageW(window, WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text));
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = L"";
  GetClassNameW(window, name, std::size(name));
  return name;
}

SeenBox ReadBox(HWND box) {
  constexpr int kTextId = 0xffff;  // the static holding a message box's text
  const HWND owner = GetWindow(box, GW_OWNER);
  SeenBox seen{TextOf(box), TextOf(GetDlgItem(box, kTextId)), owner, IsWindowVisible(owner) != FALSE, 0, false};
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    // Its own style: the box itself may not be on screen yet.
    const LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
    if (!(style & WS_VISIBLE)) continue;
    seen.buttons += ClassOf(child) == L"Button";
    seen.icon |= (style & SS_TYPEMASK) == SS_ICON && SendMessageW(child, STM_GETICON, 0, 0);
  }
  return seen;
}
