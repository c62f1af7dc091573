// The Windows clipboard, holding the text as UTF-16 (CF_UNICODETEXT) on a movable global block
// that the clipboard takes over. Windows makes the 8-bit form (CF_TEXT, in the reader's code page)
// from it for programs that ask for that.
#include <windows.h>

#include <cstring>
#include <string>

#include "platform/common/system_clipboard.h"
#include "platform/win32/wide_text.h"

namespace platform::system_clipboard {

bool open() {
  // The calling thread's active window, if it has one, becomes the clipboard's owner.
  return ::OpenClipboard(::GetActiveWindow()) != 0;
}

void empty() { ::EmptyClipboard(); }

bool placeText(const char* text, std::size_t length, bool& unreachable) {
  unreachable = false;  // the clipboard is the system's own, not a program that may not answer
  // The text ends at its first zero byte, as a zero-terminated text does.
  std::wstring wide = win32::wide(std::string(text, ::strnlen(text, length)));
  HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, (wide.size() + 1) * sizeof(wchar_t));
  if (!block) return false;
  auto* units = static_cast<wchar_t*>(::GlobalLock(block));
  if (!units) {
    ::GlobalFree(block);
    return false;
  }
  std::memcpy(units, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
  ::GlobalUnlock(block);
  // From here the block is the clipboard's; only a refusal leaves it to us to free.
  if (!::SetClipboardData(CF_UNICODETEXT, block)) {
    ::GlobalFree(block);
    return false;
  }
  return true;
}

// EmptyClipboard has already left it empty.
void close(bool) { ::CloseClipboard(); }

}  // namespace platform::system_clipboard
