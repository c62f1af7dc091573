// Names joined as the system resolves them, and the Windows directory.
#include <windows.h>

#include <cctype>
#include <string>

#include "platform/platform.h"
#include "platform/win32/wide_text.h"

namespace platform {
namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

std::string systemDirectory() {
  wchar_t folder[MAX_PATH + 1];
  UINT got = ::GetWindowsDirectoryW(folder, MAX_PATH + 1);
  if (got == 0 || got > MAX_PATH) return {};
  return win32::utf8(folder, static_cast<int>(got));
}

std::string joinedName(const char* folder, const char* name) {
  // A name with a drive ("C:\x", "C:x") or from a root ("\x", "\\server\share\x") does not
  // depend on the folder.
  bool hasDrive = std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':';
  if (!folder || !*folder || hasDrive || isSeparator(name[0])) return name;
  std::string joined = folder;
  if (!isSeparator(joined.back())) joined += '\\';
  return joined + name;
}

}  // namespace platform
