// The two conversions on the way to an AU file: fewer channels, another frame rate.
//
// Reducing the channels gathers the kept bytes of each frame in place (they only move towards the
// front), which spares a second buffer the size of the sound; raising them and resampling build
// a new buffer and take it in place of the old one, so a failed allocation leaves the sound as it
// was. Lengths are computed in 64 bits and refused when they do not fit the Sound's 32-bit
// lengths. Every byte that a later step may read is written: frames without a source are silence
// (zero bytes).
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

// Bytes from `written` to `length` that no frame wrote (a length that is not a whole number of
// frames) become silence, so that nothing later reads stale memory.
void zeroTail(std::uint8_t* block, std::int64_t written, std::int64_t length) {
  if (written < length) std::memset(block + written, 0, static_cast<std::size_t>(length - written));
}

// The first `size` bytes of each of `frames` frames of `from` (frame size `step`), one after
// another in `to`. `to` may be `from`: frames only move towards the front. The common shapes
// (stereo to mono at 8 and 16 bits) get loops of fixed size.
template <std::uint32_t kStep, std::uint32_t kSize>
void gather(std::uint8_t* to, const std::uint8_t* from, std::int32_t frames) {
  for (std::int32_t i = 0; i < frames; ++i)
    std::memmove(to + i * kSize, from + i * std::int64_t{kStep}, kSize);
}

void keepFirstBytes(std::uint8_t* to, const std::uint8_t* from, std::int32_t frames,
                    std::uint32_t step, std::uint32_t size) {
  if (step == 4 && size == 2) return gather<4, 2>(to, from, frames);
  if (step == 2 && size == 1) return gather<2, 1>(to, from, frames);
  for (std::int32_t i = 0; i < frames; ++i) {
    std::memmove(to + static_cast<std::int64_t>(i) * size,
                 from + static_cast<std::int64_t>(i) * step, size);
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
  if (newBlock < oldBlock) {
    // Fewer channels: every frame moves to a lower or equal offset, so the frames are gathered
    // in place, front to back; the tail of the block is no longer part of the sound.
    keepFirstBytes(samples, samples, frameCount, oldBlock, newBlock);
    zeroTail(samples, static_cast<std::int64_t>(frameCount) * newBlock, newLength);
    dataLength = static_cast<std::int32_t>(newLength);
  } else {
    std::uint8_t* target = newSampleBuffer(newLength);
    if (!target) return false;
    // More channels: the last channel kept is repeated into the new ones.
    const std::uint8_t* source = samples;
    std::uint8_t* out = target;
    for (std::int32_t i = 0; i < frameCount; ++i, source += oldBlock, out += newBlock) {
      std::memcpy(out, source, oldBlock);
      for (std::uint32_t filled = oldBlock; filled < newBlock; filled += bytesPerChannel) {
        std::memcpy(out + filled, out + oldBlock - bytesPerChannel, bytesPerChannel);
      }
    }
    zeroTail(target, static_cast<std::int64_t>(frameCount) * newBlock, newLength);
    replaceSamples(target, static_cast<std::int32_t>(newLength));
  }
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
  zeroTail(target, static_cast<std::int64_t>(outputFrames) * block, newLength);

  replaceSamples(target, static_cast<std::int32_t>(newLength));
  format->sampleRate = static_cast<std::uint32_t>(rate);
  format->byteRate = block * static_cast<std::uint32_t>(rate);
  frameCount = outputFrames;
  return true;
}
