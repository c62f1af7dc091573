// MSZIP blocks: the two bytes "CK" followed by one complete raw deflate stream holding at most
// 32768 bytes. A block may refer back into the previous block of its folder: the encoder is then
// given that block as its deflate dictionary, and readers, which keep the last 32 KB of the
// folder's data as their window, resolve those references. The first block of a folder is
// compressed without one. Data that does not shrink is written as a single stored deflate block
// instead, so a block never grows by more than 7 bytes.
//
// The bytes of a block depend only on its data and its dictionary, which is what lets the writer
// compress the blocks of a folder on several threads with the same result.
#pragma once

#include <zlib.h>

#include <cstdint>

namespace cab {

// The most bytes one MSZIP block of `size` input bytes can take.
constexpr std::uint32_t mszipBound(std::uint32_t size) { return 2 + 5 + size; }

class MszipEncoder {
 public:
  // `allocate`/`release` serve zlib's memory (with `context` passed back). Only start() allocates:
  // encode() can run on another thread than the one that started the encoder.
  MszipEncoder(void* (*allocate)(void* context, unsigned items, unsigned size),
               void (*release)(void* context, void* block), void* context);
  ~MszipEncoder();
  MszipEncoder(const MszipEncoder&) = delete;
  MszipEncoder& operator=(const MszipEncoder&) = delete;

  // Prepares the compressor; false when its memory could not be had.
  bool start();

  // Encodes `size` (at most 32768) bytes into `out`, which has room for mszipBound(size), with
  // the `dictionarySize` bytes at `dictionary` (none when 0) as the data that came before them.
  // The encoded size, or 0 when the compressor failed.
  std::uint32_t encode(const std::uint8_t* in, std::uint32_t size, const std::uint8_t* dictionary,
                       std::uint32_t dictionarySize, std::uint8_t* out);

 private:
  z_stream stream_{};
  bool started_ = false;
};

}  // namespace cab
