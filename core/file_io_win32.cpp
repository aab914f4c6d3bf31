// File operations on Windows: replacing a file in one step, keeping its
// attributes and security. Paths are text in the ANSI code page.
#include <windows.h>

#include <stdexcept>
#include <string>

#include "file_io.h"
#include "windows_support.h"

const std::string_view kLineEnd = "\r\n";

namespace {

// The path of the file itself, symbolic links on the way followed, in the
// usual form ("\\?\C:\..." as "C:\...", "\\?\UNC\host\..." as "\\host\...").
std::wstring FinalPath(const std::string& path) {
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

}  // namespace

// A symbolic link as the file has the file it names replaced and stays, as on
// Linux: replacing the link's own name would put a plain file in its
// place. A file with more names (hard links) gets a file of its own.
FileReplacement::FileReplacement(const std::string& path, std::string_view contents)
    : path_(path), target_(ToAnsi(FinalPath(path))), kept_(target_ + std::string(kKeptOriginalSuffix)) {
  const std::wstring target = FromAnsi(target_);
  const DWORD attributes = GetFileAttributesW(target.c_str());
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
    Handle check(CreateFileW(target.c_str(), GENERIC_WRITE | DELETE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!check.valid()) ThrowFileError("Cannot write", path);
  }

  const size_t slash = target.find_last_of(L"\\/");
  const std::wstring folder = slash == std::wstring::npos ? L"." : target.substr(0, slash + 1);
  wchar_t temp[MAX_PATH];
  if (GetTempFileNameW(folder.c_str(), L"pcf", 0, temp) == 0)
    ThrowFileError("Cannot create a temporary file beside", path);
  temporary_ = ToAnsi(temp);
  // Errors on the temporary file are reported against the file it is to
  // replace, with the temporary file as the detail: a full disk is the
  // configuration's problem.
  const auto fail = [&](const char* what) {
    ThrowLastError([&] { return std::string(what) + " \"" + path + "\" (temporary file \"" + temporary_ + "\")"; });
  };
  try {
    Handle file(CreateFileW(temp, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) fail("Cannot write");
    if (!WriteAll(file, contents)) fail("Cannot write");
    if (!FlushFileBuffers(file.get())) fail("Cannot flush");
    if (!file.Close()) fail("Cannot write");
    // ReplaceFileW carries the replaced file's security and attributes over;
    // the attributes are set beforehand too, as not every implementation of
    // it keeps them (Wine's does not).
    if (!SetFileAttributesW(temp, attributes)) fail("Cannot set the attributes of");
  } catch (...) {
    DeleteFileW(temp);
    throw;
  }
}

FileReplacement::~FileReplacement() {
  if (!placed_) DeleteFileW(FromAnsi(temporary_).c_str());
  if (placed_ && !putBack_) DeleteFileW(FromAnsi(kept_).c_str());
}

void FileReplacement::Place() {
  const std::wstring kept = FromAnsi(kept_);
  // One left by a program that was ended during a change.
  if (!DeleteFileW(kept.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) ThrowFileError("Cannot remove", kept_);
  // The original is renamed to the backup name, the very file with its
  // security; the new version takes its name.
  if (!ReplaceFileW(FromAnsi(target_).c_str(), FromAnsi(temporary_).c_str(), kept.c_str(),
                    REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
    const DWORD error = GetLastError();
    // The original has its backup name already: it takes its own back.
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) MoveFileExW(kept.c_str(), FromAnsi(target_).c_str(), 0);
    ThrowWindowsError("Cannot replace \"" + path_ + "\" (temporary file \"" + temporary_ + "\")", error);
  }
  placed_ = true;
}

void FileReplacement::PutBack() {
  if (!MoveFileExW(FromAnsi(kept_).c_str(), FromAnsi(target_).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    ThrowLastError([&] { return "Cannot put \"" + kept_ + "\" back as \"" + path_ + "\""; });
  putBack_ = true;
}

bool IsFileExit(const std::string& strFileName) {
  const DWORD attributes = GetFileAttributesW(FromAnsi(strFileName).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

size_t KnownFileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(FromAnsi(path).c_str(), GetFileExInfoStandard, &data)) return 0;
  return static_cast<size_t>(static_cast<unsigned long long>(data.nFileSizeHigh) << 32 | data.nFileSizeLow);
}
