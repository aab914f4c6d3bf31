#include "windows_kit.h"

#include <filesystem>

#include "port_probe.h"
#include "test_support.h"

namespace fs = std::filesystem;

bool UnderWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

std::string BesideMe(const char* name) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  return (fs::path(self).parent_path() / name).string();
}

StandIns::StandIns(std::string root, const char* config)
    : root_(std::move(root)), netstat_(SystemDirectory() + "\\netstat.exe") {
  fs::remove_all(root_);
  fs::create_directories(root_ + "\\conf");
  fs::create_directories(root_ + "\\bin");
  if (config) WriteFile(tree().configFile, config);
  fs::copy_file(BesideMe("stand_in_server.exe"), tree().serverProgram + ".exe");
  if (fs::exists(netstat_)) originalNetstat_ = ReadFile(netstat_);
  fs::copy_file(BesideMe("canned_netstat.exe"), netstat_, fs::copy_options::overwrite_existing);
}

StandIns::~StandIns() {
  std::error_code ignored;
  fs::remove_all(root_, ignored);
  if (originalNetstat_)
    WriteFile(netstat_, *originalNetstat_);
  else
    fs::remove(netstat_, ignored);
}

ServerTree StandIns::tree() const { return {root_ + "\\conf\\httpd.conf", root_ + "\\bin\\apache"}; }

std::string StandIns::config() const { return ReadFile(tree().configFile); }

std::string StandIns::commands() const {
  const std::string record = tree().serverProgram + ".exe.log";
  return fs::exists(record) ? ReadFile(record) : std::string();
}

std::wstring TextOf(HWND window) {
  wchar_t text[512] = L"";
  SendMessageW(window, WM_GETTEXT, std::size(text), reinterpret_cast<LPARAM>(text));
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = L"";
  GetClassNameW(window, name, std::size(name));
  return name;
}

bool IsMessageBox(HWND window) { return ClassOf(window) == L"#32770"; }

SeenBox ReadBox(HWND box) {
  constexpr int kTextId = 0xffff;  // the static holding a message box's text
  const HWND owner = GetWindow(box, GW_OWNER);
  SeenBox seen{TextOf(box), TextOf(GetDlgItem(box, kTextId)), owner, IsWindowVisible(owner) != FALSE, 0, false};
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    // Its own style: the box itself may not be on screen yet.
    const LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
    if (!(style & WS_VISIBLE)) continue;
    if (ClassOf(child) == L"Button") ++seen.buttons;
    if (ClassOf(child) == L"Static" && (style & SS_TYPEMASK) == SS_ICON && SendMessageW(child, STM_GETICON, 0, 0))
      seen.icon = true;
  }
  return seen;
}

void PressOk(HWND box) { PostMessageW(box, WM_COMMAND, IDOK, 0); }
