#pragma once

// What the core's POSIX sources share: a descriptor owner and the error that
// names what failed with the system's reason. Not for use outside core/.

#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <string>

#include "file_io.h"

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() { Close(); }
  int get() const { return fd_; }
  // Closes now and reports the result: a failed close can mean lost data.
  int Close() {
    const int result = fd_ >= 0 ? close(fd_) : 0;
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

[[noreturn]] inline void ThrowSystemError(const std::string& what, int errorNumber) {
  throw std::runtime_error(SystemErrorMessage(what, errorNumber));
}

// Throws with errno of the call that failed: read before the message is
// built, which may change it. `describe` returns what failed.
template <typename Describe>
[[noreturn]] void ThrowErrno(Describe describe) {
  const int error = errno;
  ThrowSystemError(describe(), error);
}
