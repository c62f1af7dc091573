// The clipboard's open, emptied and text-placed state, the same on every system.
#include "platform/common/system_clipboard.h"
#include "platform/platform.h"

namespace platform {

Clipboard::~Clipboard() { close(); }

bool Clipboard::open() {
  if (open_) return true;
  open_ = system_clipboard::open();
  emptied_ = false;
  textSet_ = false;
  return open_;
}

void Clipboard::empty() {
  if (!open_) return;
  system_clipboard::empty();
  emptied_ = true;
}

bool Clipboard::setText(const char* text, std::size_t length) {
  if (!open_) return false;
  if (!system_clipboard::placeText(text, length)) return false;
  textSet_ = true;
  return true;
}

void Clipboard::close() {
  if (!open_) return;
  system_clipboard::close(emptied_ && !textSet_);
  open_ = false;
}

}  // namespace platform
