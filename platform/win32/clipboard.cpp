// The Windows clipboard, holding 8-bit text (CF_TEXT) in the ANSI code page on a movable global
// block that the clipboard takes over.
#include <windows.h>

#include <cstring>

#include "platform/common/system_clipboard.h"

namespace platform::system_clipboard {

bool open() {
  // The calling thread's active window, if it has one, becomes the clipboard's owner.
  return ::OpenClipboard(::GetActiveWindow()) != 0;
}

void empty() { ::EmptyClipboard(); }

bool placeText(const char* text, std::size_t length) {
  HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, length + 1);
  if (!block) return false;
  auto* bytes = static_cast<char*>(::GlobalLock(block));
  if (!bytes) {
    ::GlobalFree(block);
    return false;
  }
  std::memcpy(bytes, text, length);
  bytes[length] = '\0';
  ::GlobalUnlock(block);
  // From here the block is the clipboard's; only a refusal leaves it to us to free.
  if (!::SetClipboardData(CF_TEXT, block)) {
    ::GlobalFree(block);
    return false;
  }
  return true;
}

// EmptyClipboard has already left it empty.
void close(bool) { ::CloseClipboard(); }

}  // namespace platform::system_clipboard
