// A whole file held in memory with a cursor, walked byte by byte by the readers of file formats.
//
// The block holds the file's bytes and one zero byte after them. The reader never goes past
// that zero byte: reads beyond the end deliver zero and leave the cursor at the end, skips
// beyond it stop there, so a caller that checks `position` against `length` afterwards sees the
// end whatever the file said. `position` counts what was delivered or asked to be skipped.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

struct ByteReader {
  std::uint8_t* buffer = nullptr;  // the file and a zero byte; null when nothing is loaded
  std::uint8_t* cursor = nullptr;  // the next byte to deliver
  std::int32_t length = 0;         // the file's size in bytes
  std::int32_t position = 0;       // bytes delivered or skipped since loading

  // Loads the named file; the buffer, or null on failure. Release before loading again.
  // `identity`, when given, receives the identity of the file read.
  std::uint8_t* load(const char* name, platform::FileIdentity* identity = nullptr);

  // As load, for a file that must begin with `signature`; one that does not is refused after
  // its first bytes, with `mismatch` set (see loadWholeFileStartingWith).
  std::uint8_t* load(const char* name, const char* signature, bool& mismatch,
                     platform::FileIdentity* identity = nullptr);

  // Takes a copy of `size` bytes from memory, as load does from a file; null when the copy
  // cannot be allocated ("Sorry, not enough memory" shown) or the size is beyond 32 bits.
  std::uint8_t* loadFromMemory(const void* data, std::size_t size);

  // The byte at the cursor; 0 at or past the end, where the cursor stays.
  std::uint8_t readByte();

  // The address of the `count` bytes passed over (the old cursor). Use only the bytes that lie
  // before the end (see remaining()); the cursor stops at the end.
  const std::uint8_t* skip(std::int32_t count);

  // Copies `count` bytes to `destination`; bytes past the end come out as zero. Returns count.
  std::int32_t readBlock(void* destination, std::int32_t count);

  // Steps back one byte so that the last byte is read again; `position` stays as it is.
  void unreadByte();

  // Bytes between the cursor and the end of the file.
  std::int32_t remaining() const;

  // Frees the buffer and sets it to null; the other fields keep their values.
  void release();
};
