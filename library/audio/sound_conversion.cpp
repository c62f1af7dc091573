// The two conversions on the way to an AU file: fewer channels, another frame rate.
//
// Both build a new sample buffer, copy frames into it and take it in place of the old one, so a
// failed allocation leaves the sound as it was. Lengths are computed in 64 bits and refused when
// they do not fit the Sound's 32-bit lengths. Every byte of the new buffer that a later step may
// read is written: frames that have no source are silence (zero bytes).
#include <cstring>
#include <limits>

#include "library/audio/sound.h"
#include "library/support/memory_helpers.h"
#include "library/support/reporting.h"

namespace {

constexpr std::int32_t kLowestRate = 1000;
constexpr std::int32_t kHighestRate = 100000;

// A new sample buffer of `length` bytes; null when it cannot be had (the message shown).
std::uint8_t* newSampleBuffer(std::int64_t length) {
  if (length < 0 || length > std::numeric_limits<std::int32_t>::max()) {
    showError("Sorry, not enough memory");
    return nullptr;
  }
  return static_cast<std::uint8_t*>(
      allocGlobalBlock(static_cast<std::size_t>(length), kGlobalMovable));
}

// Copies one frame of `size` bytes; the common sizes without a call to memcpy.
inline void copyFrame(std::uint8_t* to, const std::uint8_t* from, std::uint32_t size) {
  switch (size) {
    case 1:
      *to = *from;
      break;
    case 2:
      std::memcpy(to, from, 2);
      break;
    case 4:
      std::memcpy(to, from, 4);
      break;
    default:
      std::memcpy(to, from, size);
  }
}

}  // namespace

bool Sound::setChannels(std::int32_t n) {
  if (!format || !samples || format->channels == 0 || format->blockAlign == 0) return true;
  if (n == format->channels || n < 1 || n > 2) return true;

  const std::uint32_t channels = format->channels;
  const std::uint32_t oldBlock = format->blockAlign;
  const std::uint32_t bytesPerChannel = oldBlock / channels;
  const std::uint32_t newBlock = bytesPerChannel * static_cast<std::uint32_t>(n);
  const std::int64_t newLength = static_cast<std::int64_t>(dataLength / channels) * n;
  if (newBlock > std::numeric_limits<std::uint16_t>::max()) {
    showError("Sorry, not enough memory");
    return false;
  }
  std::uint8_t* target = newSampleBuffer(newLength);
  if (!target) return false;

  // Each frame keeps its first channels; when the count rises, the last channel kept is
  // repeated into the new ones.
  const std::uint32_t kept = newBlock < oldBlock ? newBlock : oldBlock;
  const std::uint8_t* source = samples;
  std::uint8_t* out = target;
  for (std::int32_t i = 0; i < frameCount; ++i, source += oldBlock, out += newBlock) {
    copyFrame(out, source, kept);
    for (std::uint32_t filled = kept; filled < newBlock; filled += bytesPerChannel) {
      std::memcpy(out + filled, out + kept - bytesPerChannel, bytesPerChannel);
    }
  }
  // Bytes past the last whole frame (a length that is not a multiple of the frame) are silence.
  const std::int64_t written = static_cast<std::int64_t>(frameCount) * newBlock;
  if (written < newLength) {
    std::memset(target + written, 0, static_cast<std::size_t>(newLength - written));
  }

  replaceSamples(target, static_cast<std::int32_t>(newLength));
  format->channels = static_cast<std::uint16_t>(n);
  format->blockAlign = static_cast<std::uint16_t>(newBlock);
  format->byteRate = format->sampleRate * newBlock;
  return true;
}

bool Sound::setSampleRate(std::int32_t rate) {
  if (!format || !samples || format->sampleRate == 0 || format->blockAlign == 0) return true;
  if (rate < kLowestRate || rate > kHighestRate ||
      static_cast<std::uint32_t>(rate) == format->sampleRate) {
    return true;
  }

  const double exactLength = static_cast<double>(dataLength) * rate / format->sampleRate;
  if (exactLength > std::numeric_limits<std::int32_t>::max()) {
    showError("Sorry, not enough memory");
    return false;
  }
  const std::int64_t newLength = static_cast<std::int64_t>(exactLength) & ~std::int64_t{3};
  // The step is held in single precision, the multiplication done in double precision: the
  // frames chosen depend on both.
  const float step = static_cast<float>(static_cast<double>(format->sampleRate) / rate);
  const std::uint32_t block = format->blockAlign;
  const std::int32_t outputFrames = static_cast<std::int32_t>(newLength / block);
  std::uint8_t* target = newSampleBuffer(newLength);
  if (!target) return false;

  // Source frames wholly within the data; a later one is out of reach.
  const std::int64_t sourceFrames = dataLength / block;
  std::uint8_t* out = target;
  for (std::int32_t i = 0; i < outputFrames; ++i, out += block) {
    const auto s = static_cast<std::int64_t>(static_cast<double>(i) * static_cast<double>(step));
    if (s < sourceFrames) {
      copyFrame(out, samples + s * block, block);
    } else {
      std::memset(out, 0, block);
    }
  }
  const std::int64_t written = static_cast<std::int64_t>(outputFrames) * block;
  if (written < newLength) {
    std::memset(target + written, 0, static_cast<std::size_t>(newLength - written));
  }

  replaceSamples(target, static_cast<std::int32_t>(newLength));
  format->sampleRate = static_cast<std::uint32_t>(rate);
  format->byteRate = block * static_cast<std::uint32_t>(rate);
  frameCount = outputFrames;
  return true;
}
