// MSZIP blocks: the two bytes "CK" followed by one complete raw deflate stream holding at most
// 32768 bytes. Every block is compressed on its own (a fresh stream each time, no dictionary
// carried over), which every reader accepts. Data that does not shrink is written as a single
// stored deflate block instead, so a block never grows by more than 7 bytes.
#pragma once

#include <cstdint>

#include <zlib.h>

namespace cab {

// The most bytes one MSZIP block of `size` input bytes can take.
constexpr std::uint32_t mszipBound(std::uint32_t size) { return 2 + 5 + size; }

class MszipEncoder {
 public:
  // `allocate`/`release` serve zlib's memory (with `context` passed back); no allocation happens
  // before start().
  MszipEncoder(void* (*allocate)(void* context, unsigned items, unsigned size),
               void (*release)(void* context, void* block), void* context);
  ~MszipEncoder();
  MszipEncoder(const MszipEncoder&) = delete;
  MszipEncoder& operator=(const MszipEncoder&) = delete;

  // Prepares the compressor; false when its memory could not be had.
  bool start();

  // Encodes `size` (at most 32768) bytes into `out`, which has room for mszipBound(size).
  // The encoded size, or 0 when the compressor failed.
  std::uint32_t encode(const std::uint8_t* in, std::uint32_t size, std::uint8_t* out);

 private:
  z_stream stream_{};
  bool started_ = false;
};

}  // namespace cab
