// The Windows clipboard, holding 8-bit text (CF_TEXT) in the ANSI code page on a movable global
// block that the clipboard takes over.
#include <windows.h>

#include <cstring>

#include "platform/platform.h"

namespace platform {

Clipboard::~Clipboard() { close(); }

bool Clipboard::open() {
  if (open_) return true;
  // The calling thread's active window, if it has one, becomes the clipboard's owner.
  open_ = ::OpenClipboard(::GetActiveWindow()) != 0;
  emptied_ = false;
  textSet_ = false;
  return open_;
}

void Clipboard::empty() {
  if (!open_) return;
  ::EmptyClipboard();
  emptied_ = true;
}

bool Clipboard::setText(const char* text, std::size_t length) {
  if (!open_) return false;
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
  textSet_ = true;
  return true;
}

void Clipboard::close() {
  if (!open_) return;
  ::CloseClipboard();
  open_ = false;
}

}  // namespace platform
