// File operations on Windows: replacing a file in one step, keeping its
// attributes and security. Paths come as text in the ANSI code page; once
// the system has named a file, its name stays UTF-16.
#include <windows.h>

#include <stdexcept>
#include <string>
#include <utility>

#include "file_io.h"
#include "windows_support.h"

const std::string_view kLineEnd = "\r\n";

namespace {

// The path of the file itself, symbolic links on the way followed, in the
// usual form ("\\?\C:\..." as "C:\...", "\\?\UNC\host\..." as "\\host\...").
NativePath FinalPath(const std::string& path) {
  // No access asked: only the name is wanted, whoever holds the file.
  const Handle file(CreateFileW(FromAnsi(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) ThrowFileError("Cannot read", path);
  std::wstring final(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetFinalPathNameByHandleW(file.get(), final.data(), static_cast<DWORD>(final.size()),
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) ThrowFileError("Cannot find", path);
    // Too small: the length asked for counts the closing NUL.
    if (length < final.size()) {
      final.resize(length);
      break;
    }
    final.resize(length);
  }
  const std::wstring_view local = L"\\\\?\\", unc = L"\\\\?\\UNC\\";
  if (final.compare(0, unc.size(), unc) == 0) return L"\\" + final.substr(unc.size() - 1);
  if (final.compare(0, local.size(), local) == 0) return final.substr(local.size());
  return final;
}

// The whole file as bytes, by its UTF-16 name.
std::string ReadWholeFile(const NativePath& path, const std::string& shown) {
  const Handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) ThrowFileError("Cannot read", shown);
  std::string contents;
  char buffer[1 << 16];
  DWORD count = 0;
  do {
    if (!ReadFile(file.get(), buffer, sizeof buffer, &count, nullptr)) ThrowFileError("Cannot read", shown);
    contents.append(buffer, count);
  } while (count > 0);
  return contents;
}

// A path as text for a message or a command: in the ANSI code page, or by
// its short name when that code page cannot spell it.
std::string PathText(const NativePath& path) {
  const std::string text = ToAnsi(path);
  if (FromAnsi(text) == path) return text;
  std::wstring shortName(MAX_PATH, L'\0');
  const DWORD length = GetShortPathNameW(path.c_str(), shortName.data(), static_cast<DWORD>(shortName.size()));
  if (length == 0 || length >= shortName.size()) return text;
  shortName.resize(length);
  return ToAnsi(shortName);
}

}  // namespace

// A symbolic link as the file has the file it names replaced and stays, as on
// Linux: replacing the link's own name would put a plain file in its
// place. A file with more names (hard links) gets a file of its own.
FileReplacement::FileReplacement(const std::string& path, std::string read, std::string_view contents)
    : path_(path),
      read_(std::move(read)),
      target_(FinalPath(path)),
      temporary_(target_ + FromAnsi(kNewVersionSuffix)),
      kept_(target_ + FromAnsi(kKeptOriginalSuffix)) {
  const DWORD attributes = GetFileAttributesW(target_.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) ThrowFileError("Cannot read", path);
  // Replacing needs only the folder's permission; a file the user may not
  // write (read-only, denied by its security, or held by another program)
  // must stay unwritten.
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    SetLastError(ERROR_ACCESS_DENIED);
    ThrowFileError("Cannot write", path);
  }
  // Replacing renames the file: a program holding it without sharing that
  // refuses here, before any temporary file exists.
  {
    Handle check(CreateFileW(target_.c_str(), GENERIC_WRITE | DELETE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!check.valid()) ThrowFileError("Cannot write", path);
  }

  // Errors on the temporary file are reported against the file it is to
  // replace, with the temporary file as the detail: a full disk is the
  // configuration's problem.
  const auto fail = [&](const char* what) {
    ThrowLastError(
        [&] { return std::string(what) + " \"" + path + "\" (temporary file \"" + PathText(temporary_) + "\")"; });
  };
  // One left by a change that was killed.
  if (!DeleteFileW(temporary_.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
    ThrowFileError("Cannot create a temporary file beside", path);
  Handle file(CreateFileW(temporary_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) ThrowFileError("Cannot create a temporary file beside", path);
  try {
    if (!WriteAll(file, contents)) fail("Cannot write");
    if (!FlushFileBuffers(file.get())) fail("Cannot flush");
    if (!file.Close()) fail("Cannot write");
    // ReplaceFileW carries the replaced file's security and attributes over;
    // the attributes are set beforehand too, as not every implementation of
    // it keeps them (Wine's does not).
    if (!SetFileAttributesW(temporary_.c_str(), attributes)) fail("Cannot set the attributes of");
  } catch (...) {
    file.Close();
    DeleteFileW(temporary_.c_str());
    throw;
  }
}

FileReplacement::~FileReplacement() { DeleteFileW(temporary_.c_str()); }

std::string FileReplacement::temporaryPath() const { return PathText(temporary_); }

std::string FileReplacement::keptPath() const { return PathText(kept_); }

void FileReplacement::Place() {
  // An edit saved while the new version was tested would be lost.
  if (ReadWholeFile(target_, path_) != read_)
    throw std::runtime_error("\"" + path_ + "\" changed during the change, so it was not replaced.");
  // One left by a program that was ended during a change.
  if (!DeleteFileW(kept_.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
    ThrowLastError([&] { return "Cannot remove \"" + PathText(kept_) + "\""; });
  // The original is renamed to the backup name, the very file with its
  // security; the new version takes its name.
  if (ReplaceFileW(target_.c_str(), temporary_.c_str(), kept_.c_str(), REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                   nullptr)) {
    placed_ = true;
    return;
  }
  const DWORD error = GetLastError();
  const std::string failed =
      WindowsErrorText("Cannot replace \"" + path_ + "\" (temporary file \"" + PathText(temporary_) + "\")", error);
  // The original has its backup name already: it takes its own back. Should
  // that fail too, it is away from its place, and the way back is PutBack.
  if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 && !MoveFileExW(kept_.c_str(), target_.c_str(), 0)) {
    const DWORD undo = GetLastError();
    placed_ = true;
    throw std::runtime_error(
        failed + "; " +
        WindowsErrorText("the original, kept as \"" + PathText(kept_) + "\", could not take its name back", undo));
  }
  throw std::runtime_error(failed);
}

void FileReplacement::PutBack() {
  if (!MoveFileExW(kept_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    ThrowLastError([&] { return "Cannot put \"" + PathText(kept_) + "\" back as \"" + path_ + "\""; });
}

void FileReplacement::Commit() noexcept { DeleteFileW(kept_.c_str()); }

bool IsFileExit(const std::string& strFileName) {
  const DWORD attributes = GetFileAttributesW(FromAnsi(strFileName).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

size_t KnownFileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(FromAnsi(path).c_str(), GetFileExInfoStandard, &data)) return 0;
  return static_cast<size_t>(static_cast<unsigned long long>(data.nFileSizeHigh) << 32 | data.nFileSizeLow);
}
