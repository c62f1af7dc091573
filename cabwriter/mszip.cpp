#include "cabwriter/mszip.h"

#include <cstring>

#include "cabwriter/cab_format.h"

namespace cab {
namespace {

// Level 4, not zlib's default 6: with the previous block as history the cabinet is smaller than
// blocks compressed alone at level 6 (on the mixed corpus of bench/cabinet.sh, 65.7 MB against
// 67.4 MB), at two thirds of the time per block; level 6 with history is 63.9 MB but takes 1.4
// times as long as level 6 without, and level 5 (64.4 MB) 1.3 times as long as level 4. A
// memory level of 9 was no faster on 32 KB blocks.
constexpr int kLevel = 4;
constexpr int kMemoryLevel = 8;
constexpr int kRawDeflateWindowBits = -15;

}  // namespace

MszipEncoder::MszipEncoder(void* (*allocate)(void*, unsigned, unsigned),
                           void (*release)(void*, void*), void* context) {
  stream_.zalloc = allocate;
  stream_.zfree = release;
  stream_.opaque = context;
}

MszipEncoder::~MszipEncoder() {
  if (started_) deflateEnd(&stream_);
}

bool MszipEncoder::start() {
  if (started_) return true;
  started_ = deflateInit2(&stream_, kLevel, Z_DEFLATED, kRawDeflateWindowBits, kMemoryLevel,
                          Z_DEFAULT_STRATEGY) == Z_OK;
  return started_;
}

std::uint32_t MszipEncoder::encode(const std::uint8_t* in, std::uint32_t size,
                                   const std::uint8_t* dictionary, std::uint32_t dictionarySize,
                                   std::uint8_t* out) {
  if (!started_ || size > kBlockSize || dictionarySize > kBlockSize ||
      deflateReset(&stream_) != Z_OK) {
    return 0;
  }
  if (dictionarySize > 0 && deflateSetDictionary(&stream_, dictionary, dictionarySize) != Z_OK) {
    return 0;
  }
  out[0] = 'C';
  out[1] = 'K';
  // Room for no more than the stored form: if deflate needs more, the stored form is smaller.
  const std::uint32_t storedSize = 5 + size;
  stream_.next_in = const_cast<Bytef*>(in);
  stream_.avail_in = size;
  stream_.next_out = out + 2;
  stream_.avail_out = storedSize;
  int status = deflate(&stream_, Z_FINISH);
  if (status == Z_STREAM_END && stream_.total_out < storedSize) {
    return 2 + static_cast<std::uint32_t>(stream_.total_out);
  }
  if (status != Z_STREAM_END && status != Z_OK && status != Z_BUF_ERROR) return 0;
  // One final stored block: header bits, then LEN and its complement, then the bytes.
  std::uint8_t* stored = out + 2;
  stored[0] = 0x01;
  put16(stored + 1, size);
  put16(stored + 3, ~size & 0xFFFF);
  std::memcpy(stored + 5, in, size);
  return 2 + storedSize;
}

}  // namespace cab
