// Writing a Sound as an AU file: the 24-byte big-endian header (magic ".snd", data offset 24,
// data size, encoding 1 for 8-bit µ-law, rate, channels) and one µ-law byte per frame, taken
// from the frame's first sample. That sample is first brought to 16-bit linear from whatever the
// WAV file stored: wider PCM keeps its high 16 bits, float is scaled by 32768 and clipped, A-law
// and µ-law are expanded by the G.711 tables (a µ-law sample thus comes out as the code it was).
//
// The codes are gathered into a block and written a block at a time; the bytes in the file are
// the same as writing them one by one. A write that fails has shown "Cannot write file" and ends
// the writing, so the user sees the message once, not once per remaining byte; the file is
// written through a ReplacementFile, so an AU file cut short never takes the name's place.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

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

// The G.711 expansions of one A-law or µ-law byte to 16-bit linear.
constexpr std::int16_t aLawToLinear(std::uint8_t code) {
  const std::int32_t value = code ^ 0x55;
  std::int32_t magnitude = (value & 0x0F) << 4;
  const std::int32_t segment = (value & 0x70) >> 4;
  if (segment == 0) {
    magnitude += 8;
  } else {
    magnitude = (magnitude + 0x108) << (segment - 1);
  }
  return static_cast<std::int16_t>(value & 0x80 ? magnitude : -magnitude);
}

constexpr std::int16_t muLawToLinear(std::uint8_t code) {
  const std::int32_t value = ~code & 0xFF;
  const std::int32_t magnitude = (((value & 0x0F) << 3) + kBias) << ((value & 0x70) >> 4);
  return static_cast<std::int16_t>(value & 0x80 ? kBias - magnitude : magnitude - kBias);
}

template <std::int16_t (*kExpand)(std::uint8_t)>
constexpr std::array<std::int16_t, 256> expansionTable() {
  std::array<std::int16_t, 256> table{};
  for (int code = 0; code < 256; ++code) table[code] = kExpand(static_cast<std::uint8_t>(code));
  return table;
}
constexpr std::array<std::int16_t, 256> kALawLinear = expansionTable<aLawToLinear>();
constexpr std::array<std::int16_t, 256> kMuLawLinear = expansionTable<muLawToLinear>();

// A float sample at full scale ±1.0 as 16-bit linear, rounded and clipped; not-a-number is 0.
std::uint16_t fromFloat(double value) {
  const double scaled = std::nearbyint(value * 32768.0);
  if (!(scaled > -32768.0)) return scaled < 0 ? 0x8000 : 0;
  return static_cast<std::uint16_t>(static_cast<std::int16_t>(scaled > 32767.0 ? 32767 : scaled));
}

// The first sample of the frame at `p` as the bits of a 16-bit linear sample.
template <SampleEncoding kEncoding>
std::uint16_t linearSample(const std::uint8_t* p) {
  switch (kEncoding) {
    case SampleEncoding::kUnsigned8:
      return static_cast<std::uint16_t>((p[0] ^ 0x80) << 8);
    case SampleEncoding::kSigned16:
      return static_cast<std::uint16_t>(p[0] | p[1] << 8);
    case SampleEncoding::kSigned24:
      return static_cast<std::uint16_t>(p[1] | p[2] << 8);
    case SampleEncoding::kSigned32:
      return static_cast<std::uint16_t>(p[2] | p[3] << 8);
    case SampleEncoding::kFloat32: {
      float value;
      std::memcpy(&value, p, sizeof value);
      return fromFloat(value);
    }
    case SampleEncoding::kFloat64: {
      double value;
      std::memcpy(&value, p, sizeof value);
      return fromFloat(value);
    }
    case SampleEncoding::kALaw:
      return static_cast<std::uint16_t>(kALawLinear[p[0]]);
    case SampleEncoding::kMuLaw:
      return static_cast<std::uint16_t>(kMuLawLinear[p[0]]);
  }
  return 0;
}

// The codes of `count` frames, `stride` bytes apart, from the first sample of each.
template <SampleEncoding kEncoding>
void encode(const std::uint8_t* first, std::int64_t stride, std::int32_t count,
            std::uint8_t* codes) {
  const std::uint8_t* code = muLawCodes();
  for (std::int32_t i = 0; i < count; ++i, first += stride) {
    codes[i] = code[linearSample<kEncoding>(first)];
  }
}

}  // namespace

void Sound::encodeMuLaw(std::int32_t firstFrame, std::int32_t count, std::uint8_t* codes) const {
  const std::uint8_t* first = frame(firstFrame);
  const std::int64_t stride = frameStride;
  switch (encoding) {
    case SampleEncoding::kUnsigned8:
      return encode<SampleEncoding::kUnsigned8>(first, stride, count, codes);
    case SampleEncoding::kSigned16:
      return encode<SampleEncoding::kSigned16>(first, stride, count, codes);
    case SampleEncoding::kSigned24:
      return encode<SampleEncoding::kSigned24>(first, stride, count, codes);
    case SampleEncoding::kSigned32:
      return encode<SampleEncoding::kSigned32>(first, stride, count, codes);
    case SampleEncoding::kFloat32:
      return encode<SampleEncoding::kFloat32>(first, stride, count, codes);
    case SampleEncoding::kFloat64:
      return encode<SampleEncoding::kFloat64>(first, stride, count, codes);
    case SampleEncoding::kALaw:
      return encode<SampleEncoding::kALaw>(first, stride, count, codes);
    case SampleEncoding::kMuLaw:
      return encode<SampleEncoding::kMuLaw>(first, stride, count, codes);
  }
}

namespace {

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
    std::uint8_t codes[16384];
    for (std::int32_t done = 0; done < frameCount && writing;) {
      const std::int32_t count = std::min<std::int32_t>(frameCount - done, sizeof codes);
      encodeMuLaw(done, count, codes);
      writing = flush(file, codes, count);
      done += count;
    }
  }
  // A file that could not be written whole is no AU file: it never takes the name's place.
  return writing && replacement.commit() ? 1 : 0;
}
