#include "file_io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

std::string SystemErrorMessage(const std::string& what, int errorNumber) {
  return what + ": " + std::strerror(errorNumber);
}

std::string ReadWholeFile(const std::string& path) {
  struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    const int error = errno;
    throw std::runtime_error(SystemErrorMessage("Cannot open \"" + path + "\"", error));
  }

  std::string contents;
  // Room for the whole file at once; the kernel's tables report no size and grow as read.
  contents.reserve(KnownFileSize(path));
  char buffer[1 << 16];
  // A short count means the end (or an error): asking again would make the
  // kernel walk its socket tables once more for nothing.
  size_t count;
  do {
    count = std::fread(buffer, 1, sizeof buffer, file.get());
    contents.append(buffer, count);
  } while (count == sizeof buffer);
  if (std::ferror(file.get())) {
    const int error = errno;
    throw std::runtime_error(SystemErrorMessage("Cannot read \"" + path + "\"", error));
  }
  return contents;
}
