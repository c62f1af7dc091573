// The GIF writer's output: bytes gathered in a buffer and handed to the file helpers in large
// writes, so that a file of many 255-byte sub-blocks costs few system calls. A failed or short
// write ("Cannot write file" is shown by the helper for a failure) marks the output as failed;
// later bytes are dropped, since the file can no longer be whole.
#pragma once

#include <cstdint>

#include "library/support/file_helpers.h"

class GifOutput {
 public:
  explicit GifOutput(FileHandle file) : file_(file) {}
  GifOutput(const GifOutput&) = delete;
  GifOutput& operator=(const GifOutput&) = delete;

  void put(const void* bytes, std::int32_t count);
  void putByte(std::uint8_t byte) {
    if (used_ == kCapacity) flush();
    buffer_[used_++] = byte;
  }

  // Writes what is held; false once any write failed.
  bool flush();
  bool failed() const { return failed_; }

 private:
  static constexpr std::int32_t kCapacity = 16384;
  void writeOut(const std::uint8_t* bytes, std::int32_t count);

  FileHandle file_;
  std::int32_t used_ = 0;
  bool failed_ = false;
  std::uint8_t buffer_[kCapacity];
};
