#pragma once

// What the core's Windows sources share: a handle owner, writing a whole
// buffer, and the error that names a file with the system's reason. Not for
// use outside core/.

#include <windows.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>

#include "windows_text.h"

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { Close(); }
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  // Closes now and reports the result: a failed close can mean lost data.
  bool Close() {
    const bool closed = !valid() || CloseHandle(handle_);
    handle_ = nullptr;
    return closed;
  }

 private:
  HANDLE handle_;
};

// The error of the last call on the file.
[[noreturn]] inline void ThrowFileError(const char* what, const std::string& path) {
  ThrowLastError([&] { return std::string(what) + " \"" + path + "\""; });
}

// False, with the system's error, when a write fails.
inline bool WriteAll(const Handle& file, std::string_view contents) {
  while (!contents.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(contents.size(), 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file.get(), contents.data(), chunk, &written, nullptr)) return false;
    contents.remove_prefix(written);
  }
  return true;
}
