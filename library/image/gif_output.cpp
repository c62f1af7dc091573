#include "library/image/gif_output.h"

#include <cstring>

void GifOutput::put(const void* bytes, std::int32_t count) {
  const auto* source = static_cast<const std::uint8_t*>(bytes);
  if (count <= 0) return;
  if (count > kCapacity - used_) {
    flush();
    if (count >= kCapacity) {
      writeOut(source, count);
      return;
    }
  }
  std::memcpy(buffer_ + used_, source, static_cast<std::size_t>(count));
  used_ += count;
}

bool GifOutput::flush() {
  writeOut(buffer_, used_);
  used_ = 0;
  return !failed_;
}

void GifOutput::writeOut(const std::uint8_t* bytes, std::int32_t count) {
  // A write may take fewer bytes than asked (a full disk announces itself that way first); the
  // rest is offered again until the helper reports the failure.
  while (count > 0 && !failed_) {
    std::int32_t written = writeBytes(file_, bytes, count);
    if (written <= 0) {
      failed_ = true;
      return;
    }
    bytes += written;
    count -= written;
  }
}
