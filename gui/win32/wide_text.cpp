#include "wide_text.h"

#include <windows.h>

namespace gui {

namespace {

std::wstring Widen(UINT codePage, const std::string& text) {
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), length);
  return wide;
}

}  // namespace

std::wstring FromUtf8(const std::string& text) { return Widen(CP_UTF8, text); }

std::wstring FromAnsi(const std::string& text) { return Widen(CP_ACP, text); }

std::string ToAnsi(const std::wstring& text) {
  const int size = static_cast<int>(text.size());
  const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), size, narrow.data(), length, nullptr, nullptr);
  return narrow;
}

}  // namespace gui
