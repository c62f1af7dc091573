// Putting a text on the clipboard: Kestrilo_copyToClipboard.
#include <cstring>
#include <string>

#include "library/boundary/file_name.h"
#include "library/exports/export_guard.h"
#include "library/exports/exports.h"
#include "platform/platform.h"

namespace {

std::int32_t copyToClipboard(StringHandle text) {
  std::int32_t length = javaStringLength(text);
  char buffer[kClipboardBufferSize];
  javaString2CString(text, buffer, kClipboardBufferSize);
  // The buffer holds 16383 characters; a longer text is placed cut to that, never read beyond.
  if (length > kClipboardBufferSize - 1) length = kClipboardBufferSize - 1;
  if (length < 0) length = 0;

  platform::Clipboard clipboard;
  if (!clipboard.open()) return 0;
  clipboard.empty();

  // The clipboard's own block, holding the 8-bit text in UTF-8 as the platform layer takes
  // texts: its failure is reported by the result alone, without a message.
  const std::string utf8 = platformText(buffer, static_cast<std::size_t>(length));
  const std::size_t blockSize = utf8.size() + 1;
  auto* block = static_cast<char*>(platform::memory().allocate(blockSize, false));
  if (!block) {
    clipboard.close();
    return 0;
  }
  std::memcpy(block, utf8.c_str(), blockSize);
  bool placed = clipboard.setText(block, utf8.size());
  // The desktop's clipboard keeps its own copy, so the block is ours to free.
  platform::memory().release(block);
  clipboard.close();
  return placed ? 1 : 0;
}

}  // namespace

std::int32_t Kestrilo_copyToClipboard(Receiver, StringHandle text) {
  return guardExport(kClipboardFailure, [&] { return copyToClipboard(text); });
}
