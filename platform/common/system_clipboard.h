// The system's parts of the clipboard, which each system's files provide. Clipboard (platform.h)
// keeps the open, emptied and text-placed state once for all and calls these only while open.
#pragma once

#include <cstddef>

namespace platform::system_clipboard {

// Takes the clipboard for this thread; false when it cannot be had.
bool open();
// Discards the previous contents, now or at the close.
void empty();
// Places `length` bytes of text (UTF-8); false when the clipboard did not take them.
// `unreachable` is set when the desktop did not answer in time: it would not answer the
// emptying at the close either.
bool placeText(const char* text, std::size_t length, bool& unreachable);
// Gives the clipboard back. `leaveEmpty`: it was emptied and no text has been placed since.
void close(bool leaveEmpty);

}  // namespace platform::system_clipboard
