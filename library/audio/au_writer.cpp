// Writing a Sound as an AU file: the 24-byte big-endian header (magic ".snd", data offset 24,
// data size, encoding 1 for 8-bit µ-law, rate, channels) and one µ-law byte per frame, taken
// from the frame's first sample.
//
// The codes are gathered into a block and written a block at a time; the bytes in the file are
// the same as writing them one by one. A write that fails has shown "Cannot write file" and ends
// the writing, so the user sees the message once, not once per remaining byte; the file is
// written through a ReplacementFile, so an AU file cut short never takes the name's place.
#include <algorithm>
#include <array>

#include "library/audio/sound.h"
#include "library/support/replacement_file.h"

namespace {

constexpr std::uint32_t kAuMagic = 0x2E736E64;  // ".snd"
constexpr std::uint32_t kAuHeaderSize = 24;
constexpr std::uint32_t kAuMuLaw = 1;

// Exponents of the µ-law segments, indexed by the biased magnitude's bits 7 to 14: the index of
// the highest set bit, 0 for 0 and 1.
constexpr std::array<std::uint8_t, 256> makeExponentTable() {
  std::array<std::uint8_t, 256> table{};
  for (int value = 2; value < 256; ++value) {
    std::uint8_t exponent = 0;
    for (int rest = value; rest > 1; rest >>= 1) ++exponent;
    table[value] = exponent;
  }
  return table;
}
constexpr std::array<std::uint8_t, 256> kExponent = makeExponentTable();

constexpr std::int32_t kBias = 132;
constexpr std::int32_t kClip = 32635;

// The code of every 16-bit sample, worked out once per process: the writer looks codes up
// rather than computing each one.
const std::uint8_t* muLawCodes() {
  static const std::array<std::uint8_t, 65536> codes = [] {
    std::array<std::uint8_t, 65536> table{};
    for (std::int32_t s = -32768; s <= 32767; ++s) {
      table[static_cast<std::uint16_t>(s)] = linearToMuLaw(static_cast<std::int16_t>(s));
    }
    return table;
  }();
  return codes.data();
}

// The codes of `count` frames, `stride` bytes apart, from the first sample of each: an 8-bit
// sample b counts as (b - 128) × 256, any other as the 16-bit little-endian value of the frame's
// first two bytes.
template <bool kEightBit>
void encode(const std::uint8_t* first, std::int64_t stride, std::int32_t count,
            std::uint8_t* codes) {
  const std::uint8_t* code = muLawCodes();
  for (std::int32_t i = 0; i < count; ++i, first += stride) {
    const std::uint16_t sample = kEightBit ? static_cast<std::uint16_t>((first[0] ^ 0x80) << 8)
                                           : static_cast<std::uint16_t>(first[0] | first[1] << 8);
    codes[i] = code[sample];
  }
}

// Writes what the block holds; false once a write has failed or the disk took nothing more.
bool flush(FileHandle file, const std::uint8_t* block, std::int32_t count) {
  while (count > 0) {
    std::int32_t written = writeBytes(file, block, count);
    if (written <= 0) return false;
    block += written;
    count -= written;
  }
  return true;
}

}  // namespace

std::uint8_t linearToMuLaw(std::int16_t sample) {
  const std::int32_t sign = sample < 0 ? 0x80 : 0;
  std::int32_t magnitude = sample < 0 ? -static_cast<std::int32_t>(sample) : sample;
  if (magnitude > kClip) magnitude = kClip;
  magnitude += kBias;
  const std::int32_t exponent = kExponent[(magnitude >> 7) & 0xFF];
  const std::int32_t mantissa = (magnitude >> (exponent + 3)) & 0x0F;
  return static_cast<std::uint8_t>(~(sign | exponent << 4 | mantissa));
}

int Sound::saveAu(const char* path) {
  if (!holdSamplesInMemory()) return 0;
  ReplacementFile replacement;
  if (!replacement.create(path)) return 0;
  const FileHandle file = replacement.file();

  const std::uint32_t rate = format ? format->sampleRate : 0;
  const std::uint32_t channels = format ? format->channels : 0;
  const std::uint32_t header[6] = {kAuMagic, kAuHeaderSize, static_cast<std::uint32_t>(frameCount),
                                   kAuMuLaw, rate,          channels};
  bool writing = true;
  for (std::uint32_t field : header) {
    if (writing && writeInt32(file, swapBytes32(field)) != 4) writing = false;
  }

  if (writing && samples && format && frameCount > 0) {
    const bool eightBit = format->bitsPerSample == 8;
    std::uint8_t codes[16384];
    for (std::int32_t done = 0; done < frameCount && writing;) {
      const std::int32_t count = std::min<std::int32_t>(frameCount - done, sizeof codes);
      if (eightBit) {
        encode<true>(frame(done), frameStride, count, codes);
      } else {
        encode<false>(frame(done), frameStride, count, codes);
      }
      writing = flush(file, codes, count);
      done += count;
    }
  }
  // A file that could not be written whole is no AU file: it never takes the name's place.
  return writing && replacement.commit() ? 1 : 0;
}
