// The guard is an advisory lock on the configuration file's folder: the file
// itself is replaced by each change, and a lock file would be left behind by
// a copy that is killed. The lock goes with the descriptor, which the
// server's commands do not inherit.
#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <filesystem>

#include "one_copy.h"
#include "posix_support.h"

struct OneCopy::Guard {
  FileDescriptor folder;
};

OneCopy::OneCopy(const ServerTree& tree) {
  const std::string folder = std::filesystem::path(tree.configFile).parent_path().string();
  std::unique_ptr<Guard> guard(new Guard{FileDescriptor(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))});
  // No folder, no file to change: the missing-file box follows.
  if (guard->folder.get() < 0) return;
  if (flock(guard->folder.get(), LOCK_EX | LOCK_NB) == 0)
    guard_ = std::move(guard);
  else
    first_ = errno != EWOULDBLOCK;
}

OneCopy::~OneCopy() = default;
