#pragma once

// Files as the core reads and writes them. The portable part is in
// file_io.cpp, the platform's in file_io_posix.cpp or file_io_win32.cpp.

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

// Writes the contents to a temporary file beside the path, flushes it to disk
// and puts it in the file's place in one step, keeping the file's permissions.
// On failure the file is untouched and no temporary file is left behind.
// A file the user may not write stays an error.
void ReplaceFileContents(const std::string& path, std::string_view contents);

// A message naming what failed, with the system's reason for errno.
std::string SystemErrorMessage(const std::string& what, int errorNumber);
