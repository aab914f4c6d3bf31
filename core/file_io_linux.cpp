// File operations on Linux: replacing a file in one step, keeping its
// links, owner, permissions and extended attributes.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <utility>

#include "file_io.h"
#include "posix_support.h"

const std::string_view kLineEnd = "\n";

namespace {

// The file a path names, through any symbolic links, so that replacing it
// keeps the links.
std::string ResolvedPath(const std::string& path) {
  char resolved[PATH_MAX];
  if (!realpath(path.c_str(), resolved)) ThrowErrno([&] { return "Cannot find \"" + path + "\""; });
  return resolved;
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Writing the new version: its errors are reported against the file it is
// to replace, with the temporary file as the detail (a full disk is the
// configuration's problem).
class NewVersion {
 public:
  NewVersion(const std::string& path, const std::string& temporary) : path_(path), temporary_(temporary) {}

  void Write(int fd, std::string_view contents) const {
    while (!contents.empty()) {
      const ssize_t written = write(fd, contents.data(), contents.size());
      if (written < 0 && errno == EINTR) continue;
      if (written < 0) Fail("Cannot write");
      contents.remove_prefix(static_cast<size_t>(written));
    }
  }

  // The original's owner, permissions and extended attributes. The owner
  // first: a change of owner clears the set-id bits and file capabilities.
  void KeepAttributesOf(int fd, const std::string& original, const struct stat& status) const {
    // Only the superuser may hand a file to another owner; anyone else keeps
    // their own files, which are the only ones they could own here anyway.
    if (fchown(fd, status.st_uid, status.st_gid) != 0 && errno != EPERM) Fail("Cannot set the owner of");
    if (fchmod(fd, status.st_mode & 07777) != 0) Fail("Cannot set the permissions of");
    CopyExtendedAttributes(fd, original);
  }

  [[noreturn]] void Fail(const std::string& what) const {
    const int error = errno;
    throw std::runtime_error(SystemErrorMessage(what + " \"" + path_ + "\"", error) + " (temporary file \"" +
                             temporary_ + "\")");
  }

 private:
  // POSIX ACLs, security labels and user attributes: every one the file has
  // and this process may read. One that cannot be set stops the replacement.
  void CopyExtendedAttributes(int fd, const std::string& original) const {
    std::string names;
    if (!ReadSized([&](char* buffer, size_t size) { return listxattr(original.c_str(), buffer, size); }, names)) {
      if (errno == ENOTSUP) return;
      ThrowErrno([&] { return "Cannot read the extended attributes of \"" + path_ + "\""; });
    }
    // The names, each ended by a NUL.
    std::string value;
    for (size_t at = 0, end; (end = names.find('\0', at)) != std::string::npos; at = end + 1) {
      const char* name = names.c_str() + at;
      const auto get = [&](char* buffer, size_t size) { return getxattr(original.c_str(), name, buffer, size); };
      if (!ReadSized(get, value)) {
        // Removed since the list was read.
        if (errno == ENODATA) continue;
        ThrowErrno(
            [&] { return "Cannot read the extended attribute \"" + std::string(name) + "\" of \"" + path_ + "\""; });
      }
      if (fsetxattr(fd, name, value.data(), value.size(), 0) != 0)
        Fail("Cannot copy the extended attribute \"" + std::string(name) + "\" of");
    }
  }

  // Reads a value of unknown size: asks its size, then reads it, again when
  // it grew in between. False, with errno set, on failure.
  template <typename Read>
  static bool ReadSized(Read read, std::string& value) {
    for (;;) {
      const ssize_t size = read(nullptr, 0);
      if (size < 0) return false;
      value.resize(static_cast<size_t>(size));
      if (size == 0) return true;
      const ssize_t got = read(value.data(), value.size());
      if (got >= 0) {
        value.resize(static_cast<size_t>(got));
        return true;
      }
      if (errno != ERANGE) return false;
    }
  }

  const std::string& path_;
  const std::string& temporary_;
};

void SyncDirectory(const std::string& directory) {
  FileDescriptor dir(open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) fsync(dir.get());
}

}  // namespace

FileReplacement::FileReplacement(const std::string& path, std::string read, std::string_view contents)
    : path_(path),
      read_(std::move(read)),
      target_(ResolvedPath(path)),
      temporary_(target_ + std::string(kNewVersionSuffix)),
      kept_(target_ + std::string(kKeptOriginalSuffix)) {
  struct stat original;
  if (stat(target_.c_str(), &original) != 0) ThrowErrno([&] { return "Cannot read \"" + path + "\""; });
  // Replacing by rename needs only the folder's permission; a file the user
  // may not write must stay unwritten.
  if (access(target_.c_str(), W_OK) != 0) ThrowErrno([&] { return "Cannot write \"" + path + "\""; });
  // One left by a change that was killed.
  if (unlink(temporary_.c_str()) != 0 && errno != ENOENT)
    ThrowErrno([&] { return "Cannot remove \"" + temporary_ + "\""; });
  FileDescriptor file(open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (file.get() < 0) ThrowErrno([&] { return "Cannot create a temporary file beside \"" + path + "\""; });
  try {
    const NewVersion version(path_, temporary_);
    version.Write(file.get(), contents);
    version.KeepAttributesOf(file.get(), target_, original);
    if (fsync(file.get()) != 0) version.Fail("Cannot flush");
    if (file.Close() != 0) version.Fail("Cannot write");
  } catch (...) {
    unlink(temporary_.c_str());
    throw;
  }
}

FileReplacement::~FileReplacement() {
  if (!placed_) unlink(temporary_.c_str());
}

std::string FileReplacement::temporaryPath() const { return temporary_; }

std::string FileReplacement::keptPath() const { return kept_; }

void FileReplacement::Place() {
  // An edit saved while the new version was tested would be lost.
  if (ReadWholeFile(target_) != read_)
    throw std::runtime_error("\"" + path_ + "\" changed during the change, so it was not replaced.");
  // A second name for the original, which the rename below leaves in place.
  if (unlink(kept_.c_str()) != 0 && errno != ENOENT) ThrowErrno([&] { return "Cannot remove \"" + kept_ + "\""; });
  if (link(target_.c_str(), kept_.c_str()) != 0)
    ThrowErrno([&] { return "Cannot keep \"" + path_ + "\" as \"" + kept_ + "\""; });
  if (rename(temporary_.c_str(), target_.c_str()) != 0) {
    const int error = errno;
    unlink(kept_.c_str());
    ThrowSystemError("Cannot replace \"" + path_ + "\" (temporary file \"" + temporary_ + "\")", error);
  }
  placed_ = true;
  SyncDirectory(DirectoryOf(target_));
}

void FileReplacement::PutBack() {
  if (rename(kept_.c_str(), target_.c_str()) != 0)
    ThrowErrno([&] { return "Cannot put \"" + kept_ + "\" back as \"" + path_ + "\""; });
  SyncDirectory(DirectoryOf(target_));
}

void FileReplacement::Commit() noexcept { unlink(kept_.c_str()); }

bool IsFileExit(const std::string& strFileName) {
  struct stat status;
  return stat(strFileName.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

size_t KnownFileSize(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 ? static_cast<size_t>(status.st_size) : 0;
}
