// The guard is a named mutex for the whole machine: the probe's two files
// (c:\testport.bat, c:\netstat.log) are the same whichever tree a copy acts
// on. It lives while a copy holds a handle to it, and goes with a copy that
// ends in any way.
#include "one_copy.h"
#include "windows_support.h"

struct OneCopy::Guard {
  Handle mutex;
};

OneCopy::OneCopy(const ServerTree&) {
  std::unique_ptr<Guard> guard(new Guard{Handle(CreateMutexW(nullptr, FALSE, L"Global\\portconfig.OneCopy"))});
  const DWORD error = GetLastError();
  // Made by a copy running as another user, it may not be opened at all.
  first_ = error != ERROR_ALREADY_EXISTS && error != ERROR_ACCESS_DENIED;
  if (first_ && guard->mutex.valid()) guard_ = std::move(guard);
}

OneCopy::~OneCopy() = default;
