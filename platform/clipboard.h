// The desktop's clipboard.
#pragma once

#include <cstddef>

namespace platform {

// The desktop's clipboard. Open it, empty it, put zero-terminated text on it, close it.
class Clipboard {
 public:
  Clipboard() = default;
  ~Clipboard();
  Clipboard(const Clipboard&) = delete;
  Clipboard& operator=(const Clipboard&) = delete;

  // False when there is no desktop session or no program to reach its clipboard.
  bool open();
  // Discards the previous contents (they are gone once the clipboard is closed).
  void empty();
  // Places `length` bytes of UTF-8 text; false when the clipboard did not take them.
  bool setText(const char* text, std::size_t length);
  // Releases the clipboard; an emptied clipboard with no new text is left empty.
  void close();

 private:
  bool open_ = false;
  bool emptied_ = false;
  bool textSet_ = false;
};

}  // namespace platform
