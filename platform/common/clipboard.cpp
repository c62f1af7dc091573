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
  bool unreachable = false;
  bool placed = system_clipboard::placeText(text, length, unreachable);
  // The caller is not held for a second wait on a desktop that did not answer the first.
  if (unreachable) emptied_ = false;
  if (placed) textSet_ = true;
  return placed;
}

void Clipboard::close() {
  if (!open_) return;
  system_clipboard::close(emptied_ && !textSet_);
  open_ = false;
}

}  // namespace platform
