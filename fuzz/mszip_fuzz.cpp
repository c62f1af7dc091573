// Fuzz target for the MSZIP encoder of the cabinet writer: any data, cut into blocks of any size
// up to 32768 bytes, each encoded with the block before it as its dictionary, must come back
// byte for byte through zlib's own raw inflate given the same dictionary, and no block may take
// more than mszipBound of its size. The first two bytes choose the block size; the rest is the
// data.
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cabwriter/cab_format.h"
#include "cabwriter/mszip.h"

namespace {

void* allocate(void*, unsigned items, unsigned size) { return std::calloc(items, size); }
void release(void*, void* block) { std::free(block); }

// The block decoded with zlib after its "CK", with `dictionary` as the data before it.
std::vector<std::uint8_t> inflateBlock(const std::uint8_t* block, std::uint32_t size,
                                       const std::uint8_t* dictionary, std::uint32_t dictionarySize,
                                       std::uint32_t expected) {
  if (size < 2 || block[0] != 'C' || block[1] != 'K') std::abort();
  z_stream stream{};
  if (inflateInit2(&stream, -15) != Z_OK) std::abort();
  if (dictionarySize > 0 && inflateSetDictionary(&stream, dictionary, dictionarySize) != Z_OK) {
    std::abort();
  }
  std::vector<std::uint8_t> out(expected + 1);
  stream.next_in = const_cast<Bytef*>(block + 2);
  stream.avail_in = size - 2;
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  // One complete stream, ending in a final block, with nothing after it.
  if (inflate(&stream, Z_FINISH) != Z_STREAM_END || stream.avail_in != 0) std::abort();
  out.resize(stream.total_out);
  inflateEnd(&stream);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  std::uint32_t blockSize = (data[0] | data[1] << 8) % cab::kBlockSize + 1;
  data += 2;
  size -= 2;
  static cab::MszipEncoder encoder(allocate, release, nullptr);
  if (!encoder.start()) std::abort();
  std::vector<std::uint8_t> out(cab::mszipBound(cab::kBlockSize));
  const std::uint8_t* previous = nullptr;
  std::uint32_t previousSize = 0;
  for (std::size_t at = 0; at < size || at == 0; at += blockSize) {
    const auto count = static_cast<std::uint32_t>(size - at < blockSize ? size - at : blockSize);
    const std::uint32_t encoded =
        encoder.encode(data + at, count, previous, previousSize, out.data());
    if (encoded == 0 || encoded > cab::mszipBound(count)) std::abort();
    std::vector<std::uint8_t> back =
        inflateBlock(out.data(), encoded, previous, previousSize, count);
    if (back.size() != count || (count && std::memcmp(back.data(), data + at, count) != 0)) {
      std::abort();
    }
    previous = data + at;
    previousSize = count;
    if (size == 0) break;
  }
  return 0;
}
