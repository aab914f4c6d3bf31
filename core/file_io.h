#pragma once

// Files as the core reads and writes them. The portable part is in
// file_io.cpp, the platform's in file_io_linux.cpp or file_io_win32.cpp.

#include <string>
#include <string_view>

// The line end text files are written with on this platform.
extern const std::string_view kLineEnd;

// True when a file (not a folder) exists at the path, whatever its attributes.
// Opens nothing.
bool IsFileExit(const std::string& strFileName);

// The whole file as bytes. Throws with the path and the system's reason.
std::string ReadWholeFile(const std::string& path);

// The file's size as the system reports it before reading, or 0 when it
// reports none (the kernel's tables) or the file cannot be examined. Only a
// hint for how much room to make.
size_t KnownFileSize(const std::string& path);

// The name a change keeps the original file under, beside it, until the
// change has ended: the way back is a rename, which needs no free space and
// brings back the very file. It does not end in ".conf", so an
// "Include conf/*.conf" never reads it.
constexpr std::string_view kKeptOriginalSuffix = ".before-change";

// The name the new version waits under, beside the file, while it is tested.
// One name, so that one left by a program that was killed is replaced by the
// next change; like the kept original, it does not end in ".conf".
constexpr std::string_view kNewVersionSuffix = ".after-change";

// A path as the system's calls take it: UTF-16 on Windows, so that a folder
// the ANSI code page cannot spell can still be named.
#ifdef _WIN32
using NativePath = std::wstring;
#else
using NativePath = std::string;
#endif

// A new version of a file: written beside it (beside the file a symbolic
// link names) under kNewVersionSuffix, flushed to disk and given the
// original's permissions, owner and extended attributes (its security on
// Windows), but not yet in the file's place, so that it can be tested first.
// Errors name the path and the system's reason. A file the user may not
// write is refused before anything is written.
class FileReplacement {
 public:
  // `read` is what the file held when the new contents were made from it.
  FileReplacement(const std::string& path, std::string read, std::string_view contents);
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;
  // Removes the new version when it never took the file's place. The kept
  // original stays unless Commit() or PutBack() dealt with it: a way back
  // that failed leaves it the only copy of what the file was.
  ~FileReplacement();

  // Where the new version waits, as a command is given it.
  std::string temporaryPath() const;
  // Where the original is kept once the new version is in place.
  std::string keptPath() const;
  // True once the original has left the file's place: the way back is
  // PutBack().
  bool placed() const { return placed_; }

  // The new version takes the file's place in one step; the original stays
  // beside it under kKeptOriginalSuffix (one left there by a killed program
  // is replaced). A file with more names gets a file of its own. Refused,
  // with nothing replaced, when the file no longer holds what was read.
  void Place();
  // The kept original takes the file's place again, attributes and all.
  void PutBack();
  // The change ended well: the kept original is removed.
  void Commit() noexcept;

 private:
  std::string path_;
  std::string read_;
  // The file replaced: the path with symbolic links followed.
  NativePath target_;
  NativePath temporary_;
  NativePath kept_;
  bool placed_ = false;
};

// A message naming what failed, with the system's reason for errno.
std::string SystemErrorMessage(const std::string& what, int errorNumber);
