// The Sound object's life: an empty format record at construction, everything released at the
// end; and the reading of samples that a load left in their file.
#include "library/audio/sound.h"

#include <cstring>

#include "library/support/file_helpers.h"
#include "library/support/memory_helpers.h"
#include "library/support/reporting.h"

Sound::Sound() : format(static_cast<WaveFormat*>(allocZeroed(sizeof(WaveFormat)))) {}

Sound::~Sound() {
  freeBlock(format);
  releaseSamples();
}

void Sound::releaseSamples() {
  freeGlobalBlock(block_);
  block_ = nullptr;
  closeFile(pending_.file);
  pending_ = PendingSamples{};
  samples = nullptr;
}

void Sound::adoptBlock(std::uint8_t* block, std::int32_t length, std::int32_t frameBytes) {
  releaseSamples();
  block_ = block;
  samples = block;
  dataLength = length;
  frameStride = frameBytes;
}

bool Sound::readPendingFrames(std::uint8_t* destination, std::int64_t first, std::int64_t count) {
  const std::int64_t total = count * frameStride;
  std::uint64_t offset = pending_.offset + static_cast<std::uint64_t>(first) * frameStride;
  std::int64_t done = 0;
  while (done < total) {
    std::int64_t want = total - done;
    if (want > (1 << 30)) want = 1 << 30;
    std::int64_t got = platform::readFileAt(pending_.file, destination + done,
                                            static_cast<std::size_t>(want), offset);
    if (got < 0) {
      showError("Cannot read file");
      return false;
    }
    if (got == 0) break;  // the file is shorter than it declared, or was shortened since
    done += got;
    offset += static_cast<std::uint64_t>(got);
  }
  if (done < total) std::memset(destination + done, 0, static_cast<std::size_t>(total - done));
  return true;
}

bool Sound::holdSamplesInMemory() {
  if (pending_.file == platform::kInvalidFile) return true;
  const std::int64_t bytes = static_cast<std::int64_t>(frameCount) * frameStride;
  auto* block = static_cast<std::uint8_t*>(
      allocGlobalBlock(static_cast<std::size_t>(bytes) + 1, kGlobalMovable));
  if (!block || !readPendingFrames(block, 0, frameCount)) {
    freeGlobalBlock(block);
    releaseSamples();
    dataLength = 0;
    frameCount = 0;
    return false;
  }
  block[bytes] = 0;
  const std::int32_t length = dataLength;
  adoptBlock(block, length, frameStride);
  return true;
}
