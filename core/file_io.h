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

// A new version of a file: written to a temporary file beside it (beside the
// file a symbolic link names), flushed to disk and given the original's
// permissions, owner and extended attributes (its security on Windows), but
// not yet in the file's place, so that it can be tested first. Errors name
// the path and the system's reason. A file the user may not write is
// refused before anything is written.
class FileReplacement {
 public:
  FileReplacement(const std::string& path, std::string_view contents);
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;
  // Removes the temporary file when it never took the file's place, and the
  // kept original when it was not put back: the change has ended.
  ~FileReplacement();

  // Where the new version waits.
  const std::string& temporaryPath() const { return temporary_; }
  bool placed() const { return placed_; }

  // The new version takes the file's place in one step; the original stays
  // beside it under kKeptOriginalSuffix (one left there by a killed program
  // is replaced). A file with more names gets a file of its own.
  void Place();
  // The kept original takes the file's place again, attributes and all.
  void PutBack();

 private:
  std::string path_;
  // The file replaced: the path with symbolic links followed.
  std::string target_;
  std::string temporary_;
  std::string kept_;
  bool placed_ = false;
  bool putBack_ = false;
};

// Puts the contents in the file's place at once, through a FileReplacement.
void ReplaceFileContents(const std::string& path, std::string_view contents);

// A message naming what failed, with the system's reason for errno.
std::string SystemErrorMessage(const std::string& what, int errorNumber);
