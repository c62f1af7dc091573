// The two conversions on the way to an AU file: fewer channels, another frame rate.
//
// Dropping channels moves nothing: the frames stay where they are and only their first bytes
// remain part of the sound, so the step costs nothing however long the sound. Raising the
// channels and resampling build a new, packed buffer and take it in place of the old one, so a
// failed allocation leaves the sound as it was. Lengths are computed in 64 bits and refused when
// they do not fit the Sound's 32-bit lengths. Frames without a source are silence (zero bytes),
// and so is every byte of the new buffer that no frame fills.
#include <algorithm>
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

// Bytes from `written` to `length` that no frame wrote (a length that is not a whole number of
// frames) become silence, so that nothing later reads stale memory.
void zeroTail(std::uint8_t* block, std::int64_t written, std::int64_t length) {
  if (written < length) std::memset(block + written, 0, static_cast<std::size_t>(length - written));
}

// Where resampling takes its frames from: frame s of the source for output frame i is
// i × step, multiplied in double precision from the single-precision step and truncated. The
// frames from firstFrame on lie at `samples`.
struct FrameSelection {
  const std::uint8_t* samples;
  std::int64_t firstFrame;
  std::int64_t stride;
  std::int64_t heldFrames;  // a source frame at or past this one is silence
  float step;
};

// Fills output frames `from` to `to` - 1 (of `block` bytes, the first at `out`); kBlock is the
// block size when it is one of the common ones (so that each copy is a single move), 0 otherwise.
template <std::uint32_t kBlock>
void resample(const FrameSelection& source, std::uint8_t* out, std::int32_t from, std::int32_t to,
              std::uint32_t block) {
  const std::uint32_t size = kBlock ? kBlock : block;
  const double step = source.step;
  for (std::int32_t i = from; i < to; ++i, out += size) {
    const auto s = static_cast<std::int64_t>(static_cast<double>(i) * step);
    if (s < source.heldFrames) {
      std::memcpy(out, source.samples + (s - source.firstFrame) * source.stride, size);
    } else {
      std::memset(out, 0, size);
    }
  }
}

void resampleFrames(const FrameSelection& source, std::uint8_t* out, std::int32_t from,
                    std::int32_t to, std::uint32_t block) {
  switch (block) {
    case 1:
      return resample<1>(source, out, from, to, block);
    case 2:
      return resample<2>(source, out, from, to, block);
    case 3:
      return resample<3>(source, out, from, to, block);
    case 4:
      return resample<4>(source, out, from, to, block);
    default:
      return resample<0>(source, out, from, to, block);
  }
}

// The first output frame from `from` on (at most `limit`) whose source frame is `end` or later.
std::int32_t firstOutputFrameFrom(std::int64_t end, float step, std::int32_t from,
                                  std::int32_t limit) {
  const auto sourceOf = [step](std::int64_t i) {
    return static_cast<std::int64_t>(static_cast<double>(i) * step);
  };
  const double guess = static_cast<double>(end) / step;
  std::int64_t j = guess < limit ? static_cast<std::int64_t>(guess) : limit;
  if (j < from) j = from;
  while (j > from && sourceOf(j - 1) >= end) --j;
  while (j < limit && sourceOf(j) < end) ++j;
  return static_cast<std::int32_t>(j);
}

// The size of the chunks in which samples still in their file are read.
constexpr std::int64_t kChunkBytes = 1 << 17;

}  // namespace

bool Sound::setChannels(std::int32_t n) {
  if (!format || !hasSamples() || format->channels == 0 || format->blockAlign == 0) return true;
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
  if (newBlock > oldBlock) {
    if (!holdSamplesInMemory()) return false;
    std::uint8_t* target = newSampleBuffer(newLength);
    if (!target) return false;
    // More channels: the last channel kept is repeated into the new ones.
    std::uint8_t* out = target;
    for (std::int32_t i = 0; i < frameCount; ++i, out += newBlock) {
      std::memcpy(out, frame(i), oldBlock);
      for (std::uint32_t filled = oldBlock; filled < newBlock; filled += bytesPerChannel) {
        std::memcpy(out + filled, out + oldBlock - bytesPerChannel, bytesPerChannel);
      }
    }
    zeroTail(target, static_cast<std::int64_t>(frameCount) * newBlock, newLength);
    adoptBlock(target, static_cast<std::int32_t>(newLength), static_cast<std::int32_t>(newBlock));
  } else {
    // Fewer channels: each frame keeps its place and its first newBlock bytes. The frames after
    // frameCount, up to the new length, are silence as before.
    dataLength = static_cast<std::int32_t>(newLength);
  }
  format->channels = static_cast<std::uint16_t>(n);
  format->blockAlign = static_cast<std::uint16_t>(newBlock);
  format->byteRate = format->sampleRate * newBlock;
  return true;
}

bool Sound::setSampleRate(std::int32_t rate) {
  if (!format || !hasSamples() || format->sampleRate == 0 || format->blockAlign == 0) return true;
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

  if (!samples) {
    const bool resampled = resampleFromFile(target, outputFrames, step);
    if (!resampled) {
      freeGlobalBlock(target);
      releaseSamples();
      dataLength = 0;
      frameCount = 0;
      return false;
    }
  } else {
    resampleFrames(FrameSelection{samples, 0, frameStride, frameCount, step}, target, 0,
                   outputFrames, block);
  }
  zeroTail(target, static_cast<std::int64_t>(outputFrames) * block, newLength);

  adoptBlock(target, static_cast<std::int32_t>(newLength), static_cast<std::int32_t>(block));
  format->sampleRate = static_cast<std::uint32_t>(rate);
  format->byteRate = block * static_cast<std::uint32_t>(rate);
  frameCount = outputFrames;
  return true;
}

bool Sound::resampleFromFile(std::uint8_t* target, std::int32_t outputFrames, float step) {
  // One buffer of whole source frames, reused for every chunk: fresh memory is what costs, and a
  // chunk this size stays in the processor's cache while its frames are picked.
  const std::int64_t stride = frameStride;
  const std::int64_t chunkFrames = stride < kChunkBytes ? kChunkBytes / stride : 1;
  auto* chunk = static_cast<std::uint8_t*>(
      allocGlobalBlock(static_cast<std::size_t>(chunkFrames * stride), kGlobalMovable));
  if (!chunk) return false;
  const std::uint32_t block = format->blockAlign;
  std::int64_t first = 0;  // the source frame at the start of the chunk
  std::int64_t held = 0;   // frames in the chunk
  std::int32_t i = 0;
  bool read = true;
  while (i < outputFrames && read) {
    const auto s = static_cast<std::int64_t>(static_cast<double>(i) * step);
    if (s >= frameCount) break;
    if (s >= first + held) {
      // The next chunk that holds frame s; frames passed over wholly are not read.
      first = s;
      held = std::min<std::int64_t>(chunkFrames, frameCount - first);
      read = readPendingFrames(chunk, first, held);
      continue;
    }
    // Every output frame whose source lies in this chunk.
    const std::int64_t end = first + held;
    const FrameSelection selection{chunk, first, stride, end, step};
    const std::int32_t stop = firstOutputFrameFrom(end, step, i, outputFrames);
    resampleFrames(selection, target + static_cast<std::int64_t>(i) * block, i, stop, block);
    i = stop;
  }
  freeGlobalBlock(chunk);
  if (!read) return false;
  // Output frames whose source lies past the frames held are silence.
  if (i < outputFrames) {
    std::memset(target + static_cast<std::int64_t>(i) * block, 0,
                static_cast<std::size_t>(outputFrames - i) * block);
  }
  return true;
}
