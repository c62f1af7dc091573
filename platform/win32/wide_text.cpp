#include "platform/win32/wide_text.h"

#include <windows.h>

#include <climits>
#include <cstring>

namespace platform::win32 {

std::wstring wide(const char* utf8) {
  if (!utf8 || !*utf8) return {};
  std::size_t bytes = std::strlen(utf8);
  if (bytes > INT_MAX) return {};
  int units = ::MultiByteToWideChar(CP_UTF8, 0, utf8, static_cast<int>(bytes), nullptr, 0);
  if (units <= 0) return {};
  std::wstring text(static_cast<std::size_t>(units), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8, static_cast<int>(bytes), text.data(), units);
  return text;
}

std::wstring widePath(const char* utf8) {
  std::wstring name = wide(utf8);
  if (name.size() < MAX_PATH || name.rfind(L"\\\\?\\", 0) == 0 || name.rfind(L"\\\\.\\", 0) == 0) {
    return name;
  }
  // The long form takes no "." or "..", no "/" and no relative part: the full path has none.
  DWORD needed = ::GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return name;
  std::wstring full(needed, L'\0');
  DWORD got = ::GetFullPathNameW(name.c_str(), needed, full.data(), nullptr);
  if (got == 0 || got >= needed) return name;
  full.resize(got);
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') return L"\\\\?\\" + full;
  return name;
}

std::string utf8(const wchar_t* text, int length) {
  if (!text || length == 0) return {};
  int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string result(static_cast<std::size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, length, result.data(), bytes, nullptr, nullptr);
  // A zero-terminated text's count takes its zero in.
  if (length < 0 && !result.empty() && result.back() == '\0') result.pop_back();
  return result;
}

}  // namespace platform::win32
